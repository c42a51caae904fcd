#include "model/ModelSettings.h"
#include "sheets/ExportPreferences.h"
#include "sheets/ExportSheetState.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

using namespace oxel;
using oxel::testing::TemporaryFolder;
using namespace std::chrono_literals;

namespace {

using F = ExportFormat;

const std::string psdNote =
    "background, smooth, light (moved), light, colour and grain: the light layer's opacity is the strength and the "
    "colour layer's is the colour, live in photoshop. the grain layer is there either way, hidden when film grain is "
    "off. always 16-bit, in the original's own profile.";

struct StoreTest : ::testing::Test {
    TemporaryFolder folder;
    SettingsStore store{folder / "settings.json"};
    ExportPreferences preferences{store};
};

} // namespace

TEST(ExportSheetState, PsdAloneShowsOnlyTheSectionsThatAlwaysStand)
{
    const auto state = exportSheetState({F::psd}, true, 3, false);
    EXPECT_EQ(state.title, "export 3 results");
    EXPECT_EQ(state.formatsHeading, "format · choose as many as you like");
    EXPECT_FALSE(state.tiffLayersSwitch || state.colourChoice || state.sixteenBitSwitch || state.qualityRow ||
                 state.mentionCompare);
    EXPECT_EQ(state.notes, std::vector<std::string>{psdNote});
    EXPECT_FALSE(state.destination);
    EXPECT_EQ(state.exportButton, "export psd…");
    EXPECT_EQ(state.panelMessage, "psd, into the folder you choose");
    EXPECT_EQ(ExportSheetState::panelPrompt, "export here");
    EXPECT_EQ(exportSheetState({F::psd}, true, 1, true).title, "export 1 result");
    EXPECT_EQ(exportSheetState({F::psd}, true, 0, true).title, "export 0 results");
}

TEST(ExportSheetState, TiffLayersDecideColourSixteenBitAndTheNote)
{
    const auto layered = exportSheetState({F::tiff}, true, 1, false);
    EXPECT_TRUE(layered.tiffLayersSwitch);
    EXPECT_FALSE(layered.colourChoice || layered.sixteenBitSwitch || layered.qualityRow);
    EXPECT_EQ(layered.notes, std::vector<std::string>{"the same layers inside a tiff (photoshop reads them; photo "
                                                      "applications that take the tiff back see the flat result)."});

    const auto flat = exportSheetState({F::tiff}, false, 1, false);
    EXPECT_TRUE(flat.tiffLayersSwitch && flat.colourChoice && flat.sixteenBitSwitch);
    EXPECT_FALSE(flat.qualityRow);
    EXPECT_EQ(flat.notes, std::vector<std::string>{"a flat tiff of the result."});
}

TEST(ExportSheetState, JpegAndHeicAskColourAndQualityAndGoIntoTheirOwnFolders)
{
    const auto state = exportSheetState({F::jpeg, F::heic}, true, 2, false);
    EXPECT_TRUE(state.colourChoice && state.qualityRow);
    EXPECT_FALSE(state.sixteenBitSwitch || state.tiffLayersSwitch);
    EXPECT_EQ(state.formatsHeading, "formats · each into its own folder");
    EXPECT_EQ(state.exportButton, "export jpeg and heic…");
    EXPECT_EQ(state.destination, "in the folder you choose: jpeg, heic.");
    EXPECT_EQ(state.panelMessage, "jpeg and heic, each into its own folder in the one you choose");
    ASSERT_EQ(state.notes.size(), 2u);
    EXPECT_EQ(state.notes[0],
              "jpeg: flat, sRGB by default. an iphone original's hdr headroom is kept when the file can carry it.");
    EXPECT_EQ(state.notes[1], "heic: flat, small, and keeps an iphone original's hdr headroom.");
}

TEST(ExportSheetState, AllFiveFormats)
{
    const std::vector<ExportFormat> all{F::psd, F::tiff, F::jpeg, F::png, F::heic};
    const auto state = exportSheetState(all, false, 7, false);
    EXPECT_EQ(state.exportButton, "export psd, tiff, jpeg, png and heic…");
    EXPECT_EQ(state.destination, "in the folder you choose: psd, tiff, jpeg, png, heic.");
    EXPECT_TRUE(state.tiffLayersSwitch && state.colourChoice && state.sixteenBitSwitch && state.qualityRow);
    ASSERT_EQ(state.notes.size(), 5u);
    EXPECT_EQ(state.notes[0], "psd: " + psdNote);
    EXPECT_EQ(state.notes[1], "tiff: a flat tiff of the result.");
    EXPECT_EQ(state.notes[3], "png: flat, lossless.");
    EXPECT_EQ(state.selection, (std::set<std::string>{"psd", "tiff", "jpeg", "png", "heic"}));
    EXPECT_EQ(formatsPhrase({F::psd, F::tiff, F::jpeg}), "psd, tiff and jpeg");
}

TEST(ExportSheetState, CompareMentionAfterAWeekUnlessComparedInThisBatch)
{
    const Date now = Date{} + 100'000h;
    EXPECT_TRUE(shouldMentionCompare(false, std::nullopt, now));
    EXPECT_FALSE(shouldMentionCompare(false, now - 3 * 24h, now));
    EXPECT_TRUE(shouldMentionCompare(false, now - 8 * 24h, now));
    EXPECT_TRUE(shouldMentionCompare(false, now - 7 * 24h, now)) << "exactly a week counts as old enough";
    EXPECT_FALSE(shouldMentionCompare(true, now - 8 * 24h, now));
    EXPECT_FALSE(shouldMentionCompare(true, std::nullopt, now));
}

TEST(ExportPreferences, StoredFormatsReadExactlyInListOrder)
{
    struct Case {
        std::string stored;
        std::vector<ExportFormat> read;
    };
    for (const Case& row : std::vector<Case>{{"jpeg,psd", {F::psd, F::jpeg}},
                                             {"tiff,tiff", {F::tiff}},
                                             {"psd,,png", {F::psd, F::png}},
                                             {" jpeg", {F::psd}},
                                             {"JPEG,gif", {F::psd}},
                                             {"", {F::psd}},
                                             {",", {F::psd}},
                                             {"heic,png,jpeg,tiff,psd", {F::psd, F::tiff, F::jpeg, F::png, F::heic}}})
        EXPECT_EQ(parseExportFormats(row.stored), row.read) << row.stored;
    EXPECT_EQ(storedExportFormats({"jpeg", "psd"}), "psd,jpeg");
    EXPECT_EQ(storedExportFormats({"heic", "gif", "tiff"}), "tiff,heic");
    EXPECT_EQ(storedExportFormats({}), "");
    EXPECT_EQ(parseExportColour("sRGB"), ExportColour::sRGB);
    EXPECT_EQ(parseExportColour("SRGB"), ExportColour::embedded);
    EXPECT_EQ(parseExportColour("embedded"), ExportColour::embedded);
}

TEST_F(StoreTest, AbsentKeysGiveTheDefaultsAndEveryOptionsRecordCarriesEverySetting)
{
    EXPECT_EQ(preferences.formats(), std::vector<ExportFormat>{F::psd});
    EXPECT_EQ(preferences.options(), std::vector<ExportOptions>{ExportOptions{}});
    EXPECT_EQ(preferences.colourRaw(), "embedded");
    EXPECT_DOUBLE_EQ(preferences.jpegQuality(), 0.95);

    preferences.setFormats({"png", "psd", "jpeg"});
    EXPECT_EQ(store.stringValue("exportFormats"), "psd,jpeg,png");
    store.set("exportColour", "sRGB");
    preferences.setSixteenBit(false);
    preferences.setTiffLayered(false);
    preferences.setJpegQuality(0.7);
    preferences.setInheritDate(false);
    const ExportOptions shared{F::psd, ExportColour::sRGB, false, 0.7, false, false};
    auto expected = std::vector<ExportOptions>(3, shared);
    expected[1].format = F::jpeg;
    expected[2].format = F::png;
    EXPECT_EQ(preferences.options(), expected);

    store.set("exportColour", "SRGB");
    EXPECT_EQ(preferences.options()[0].colour, ExportColour::embedded);
}

TEST_F(StoreTest, TheOldSingleFormatMovesOnceAndOnlyWhenKnown)
{
    struct Case {
        std::optional<std::string> formats; // already stored under the new key
        std::string old;
        std::optional<std::string> after;
    };
    for (const Case& row : std::vector<Case>{{std::nullopt, "png", "png"},
                                             {std::nullopt, "PNG", std::nullopt},
                                             {std::nullopt, "webp", std::nullopt},
                                             {"jpeg", "png", "jpeg"},
                                             {"", "png", ""}}) {
        for (const auto& key : store.keys()) store.remove(key);
        if (row.formats) store.set("exportFormats", std::string_view(*row.formats));
        store.set("exportFormat", std::string_view(row.old));
        migrateExportFormatDefaults(store);
        EXPECT_EQ(store.stringValue("exportFormats"), row.after) << row.old;
        EXPECT_EQ(store.stringValue("exportFormat"), row.old) << "the old key stays";
    }
    EXPECT_EQ(preferences.formats(), std::vector<ExportFormat>{F::psd}) << "an empty list reads as psd";
}
