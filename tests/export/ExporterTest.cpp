#include "export/ExportTestSupport.h"

#include "export/Exporter.h"

#include "develop/codecs/GainMapLocator.h"
#include "imaging/Kernel.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>

using namespace oxel;
using namespace oxel::layeredtest;

namespace {

constexpr int64_t width = 120, height = 90;

// A photograph-like original: soft light, hard edges and fine texture.
Image scene()
{
    return pictureOf(width, height, [](int64_t x, int64_t y, int c) {
        const double light = 0.25 + 0.4 * double(x + y) / 210.0;
        const double edge = ((x / 13 + y / 11) % 2) ? 0.15 : 0.0;
        const double texture = 0.04 * std::sin(double(x) * 1.7 + double(y) * 0.9 + c);
        return uint16_t(std::clamp(light + edge + texture - 0.05 * c, 0.0, 1.0) * 65535.0 + 0.5);
    });
}

// The same scene relit by the backend: brighter and warmer, at half the size.
Image relit(const Image& original)
{
    const Image lit = applyKernel(
        original.extent(),
        [](RGB p) {
            return RGB{p.r * 1.2f + 0.04f, p.g * 1.05f + 0.02f, p.b * 0.9f};
        },
        original);
    return materialised(lit.scaled(0.5, 0.5));
}

// Another photograph altogether.
Image stranger()
{
    return pictureOf(width / 2, height / 2, [](int64_t x, int64_t y, int c) {
        return uint16_t(((x * 7919 + y * 104729 + c * 31) % 977) * 67);
    });
}

GradeLooks looks()
{
    GradeLooks looks;
    looks.chosen.lift = {0.03, 0.0, -0.02};
    looks.chosen.saturation = 1.2;
    looks.alternative = looks.chosen;
    looks.alternative->gain = {0.8, 0.8, 0.8};
    return looks;
}

// An original on disk, loaded the way the application loads it.
struct Original {
    ScratchFolder folder;
    std::optional<SourceImage> source;

    explicit Original(const ColourSpace& space = ColourSpace::sRGB(), const FlatWriteServices& services = {},
                      const FlatWriteOriginal& carried = {})
    {
        ExportOptions options;
        options.format = ExportFormat::jpeg;
        writeFlat(scene(), carried, folder / "original.jpg", options, space, RenderContext(), services);
        source = SourceImage::load(folder / "original.jpg");
    }
};

std::shared_ptr<const DevelopInput> outcomeFor(const SourceImage& source, const Image& render,
                                               TransferLimits limits = {})
{
    auto outcome = std::make_shared<DevelopInput>("job-7", render,
                                                  DetailTransfer(source.image, render, source.colorSpace, limits));
    outcome->looks = looks();
    outcome->grainLevel = 2;
    return outcome;
}

ExportOptions optionsFor(ExportFormat format)
{
    ExportOptions options;
    options.format = format;
    return options;
}

struct Exported {
    ExportReport report;
    std::vector<double> progress;
};

std::optional<Exported> exported(const SourceImage& source, const DevelopInput& outcome,
                                 const std::filesystem::path& file, const ExportOptions& options, double strength = 0.8,
                                 double colour = 0.7, bool grain = true)
{
    Exported result;
    const auto answer = exportPicture(source, outcome, {false, strength, colour, grain}, file, options,
                                      [&result](double p) { result.progress.push_back(p); });
    if (const auto* failure = std::get_if<ExportFailure>(&answer)) {
        ADD_FAILURE() << failure->description();
        return std::nullopt;
    }
    result.report = std::get<ExportReport>(answer);
    return result;
}

// Each layer's name and visibility as psd-tools reads them.
std::vector<std::pair<std::string, bool>> layersOf(const std::filesystem::path& file, const ScratchFolder& folder)
{
    std::filesystem::create_directories(folder / "inspect");
    const auto output = run("/usr/bin/python3 '" + dataFile("inspect_layers.py") + "' '" + file.string() + "' '" +
                            (folder / "inspect").string() + "' 2>/dev/null");
    std::vector<std::pair<std::string, bool>> layers;
    const auto parsed = nlohmann::json::parse(output, nullptr, false);
    if (parsed.is_discarded()) return layers;
    for (const auto& layer : parsed["layers"]) layers.emplace_back(layer["name"], layer["visible"]);
    return layers;
}

std::string profileOf(const std::filesystem::path& file)
{
    return run("exiftool -s -s -s -ProfileDescription '" + file.string() + "'");
}

} // namespace

TEST(Exporter, WritesAFlatFileAtTheOriginalsSize)
{
    Original original;
    const auto outcome = outcomeFor(*original.source, relit(original.source->image));
    const auto result =
        exported(*original.source, *outcome, original.folder / "out.jpg", optionsFor(ExportFormat::jpeg));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->report, (ExportReport{original.folder / "out.jpg", ExportFormat::jpeg, false, false, "no-map",
                                            width, height, std::nullopt}));
    EXPECT_EQ(result->progress, (std::vector<double>{0.05, 1.0}));
    EXPECT_EQ(identify(original.folder / "out.jpg"), "JPEG 120 90 8");
    EXPECT_FALSE(outcome->previewPlan); // the outcome is only read
}

TEST(Exporter, NotesAFullSendAndADeclinedTransfer)
{
    Original original;
    TransferLimits anyDivergence;
    anyDivergence.refineDivergenceLimit = -1;
    const auto diverged = outcomeFor(*original.source, relit(original.source->image), anyDivergence);
    auto result = exported(*original.source, *diverged, original.folder / "a.png", optionsFor(ExportFormat::png), 0.4);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->report.note, "moved too much to blend · exported at full send");
    result = exported(*original.source, *diverged, original.folder / "b.png", optionsFor(ExportFormat::png), 1.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->report.note, std::nullopt);

    const auto declined = outcomeFor(*original.source, stranger());
    const std::string unmatched =
        "could not match the render to the original · exported the render at the original's size";
    result = exported(*original.source, *declined, original.folder / "c.tif", optionsFor(ExportFormat::tiff));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->report.note, unmatched);
    EXPECT_FALSE(result->report.layered);
    EXPECT_EQ(result->report.hdrWhy, "n/a");
    EXPECT_EQ(result->progress, (std::vector<double>{0.05}));
    EXPECT_EQ(identify(original.folder / "c.tif"), "TIFF 120 90 16");
}

TEST(Exporter, BuildsTheLayersThatRebuildTheResult)
{
    Original original(ColourSpace::displayP3());
    const auto outcome = outcomeFor(*original.source, relit(original.source->image));
    ExportOptions options = optionsFor(ExportFormat::psd);
    options.colour = ExportColour::sRGB;
    const auto result = exported(*original.source, *outcome, original.folder / "l.psd", options, 0.8, 0.0005, false);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->report.layered);
    EXPECT_EQ(result->report.hdrWhy, "n/a");
    EXPECT_EQ(result->report.note, "layers keep the original's profile");
    EXPECT_EQ(result->progress.front(), 0.05);
    EXPECT_EQ(result->progress.back(), 1.0);
    EXPECT_EQ(layersOf(original.folder / "l.psd", original.folder),
              (std::vector<std::pair<std::string, bool>>{{"original", true},
                                                         {"smooth", true},
                                                         {"light (moved)", true},
                                                         {"light", true},
                                                         {"colour", false},
                                                         {"grain", false}}));
    EXPECT_EQ(profileOf(original.folder / "l.psd"), "Display P3\n");

    // A TIFF that isn't layered is flat, and takes the asked colour.
    options.format = ExportFormat::tiff;
    options.tiffLayered = false;
    const auto flat = exported(*original.source, *outcome, original.folder / "f.tif", options);
    ASSERT_TRUE(flat);
    EXPECT_FALSE(flat->report.layered);
    EXPECT_EQ(profileOf(original.folder / "f.tif"), "sRGB\n");
}

TEST(Exporter, LeavesOutWhatTheOutcomeHasNot)
{
    Original original;
    auto outcome = std::make_shared<DevelopInput>(*outcomeFor(*original.source, relit(original.source->image)));
    outcome->looks.reset();
    outcome->grainBaked = true;
    const auto result = exported(*original.source, *outcome, original.folder / "n.psd", optionsFor(ExportFormat::psd));
    ASSERT_TRUE(result);
    EXPECT_EQ(layersOf(original.folder / "n.psd", original.folder),
              (std::vector<std::pair<std::string, bool>>{
                  {"original", true}, {"smooth", true}, {"light (moved)", true}, {"light", true}}));
}

TEST(Exporter, ExportsAColourOnlyResultFromTheOriginal)
{
    Original original;
    auto outcome = std::make_shared<DevelopInput>(*outcomeFor(*original.source, original.source->image));
    outcome->colourOnly = true;
    auto result =
        exported(*original.source, *outcome, original.folder / "c.psd", optionsFor(ExportFormat::psd), 0.0, 1.5);
    ASSERT_TRUE(result);
    EXPECT_EQ(layersOf(original.folder / "c.psd", original.folder),
              (std::vector<std::pair<std::string, bool>>{{"original", true}, {"colour", true}, {"grain", true}}));
    EXPECT_EQ(result->report.note, std::nullopt);

    result = exported(*original.source, *outcome, original.folder / "c.heic", optionsFor(ExportFormat::heic));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->report, (ExportReport{original.folder / "c.heic", ExportFormat::heic, false, false, "no-map",
                                            width, height, std::nullopt}));
}

TEST(Exporter, CarriesTheOriginalsGainMapWhereTheFormatCan)
{
    FlatWriteServices services;
    services.carryGainMap = [](std::span<const uint8_t>, const Image&, const RenderContext&, std::string& reason) {
        reason = "applied:apple";
        return std::optional<CarriedGainMap>(CarriedGainMap{{30, 20, std::vector<uint8_t>(600, 200), {}}, 1, {}, {}});
    };
    FlatWriteOriginal carried;
    carried.hasGainMap = true;
    carried.gainMapFile = FileBytes();
    Original original(ColourSpace::sRGB(), services, carried);
    ASSERT_TRUE(original.source->hasGainMap());
    const auto outcome = outcomeFor(*original.source, relit(original.source->image));

    auto result = exported(*original.source, *outcome, original.folder / "g.heic", optionsFor(ExportFormat::heic));
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->report.hdr);
    EXPECT_EQ(result->report.hdrWhy.rfind("applied:", 0), 0u);
    EXPECT_TRUE(readGainMap(fileBytes(original.folder / "g.heic")));

    result = exported(*original.source, *outcome, original.folder / "g.png", optionsFor(ExportFormat::png));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->report.hdrWhy, "format-cannot-carry");
}

TEST(Exporter, PassesOnTheWritersFailure)
{
    Original original;
    const auto outcome = outcomeFor(*original.source, relit(original.source->image));
    const auto answer = exportPicture(*original.source, *outcome, {false, 0.5, 0.5}, original.folder / "gone" / "x.jpg",
                                      optionsFor(ExportFormat::jpeg));
    ASSERT_TRUE(std::holds_alternative<ExportFailure>(answer));
    EXPECT_EQ(std::get<ExportFailure>(answer).description(),
              "write failed: could not create jpeg destination: the folder " + (original.folder / "gone").string() +
                  " is not there");
    EXPECT_TRUE(std::holds_alternative<ExportFailure>(exportPicture(*original.source, *outcome, {false, 0.5, 0.5},
                                                                    original.folder / "gone" / "x.psd",
                                                                    optionsFor(ExportFormat::psd))));
}

TEST(Exporter, ScalesADeclinedRenderInTheDocumentsOwnColours)
{
    // The render arrives in sRGB; a Display P3 document must get it converted, not read as P3.
    Original original(ColourSpace::displayP3());
    const Image flatRed = Image::constant({0.8f, 0.2f, 0.2f}).cropped({0, 0, width / 2, height / 2});
    const auto outcome = outcomeFor(*original.source, materialised(flatRed));
    auto withoutExtras = std::make_shared<DevelopInput>(*outcome);
    withoutExtras->looks.reset();
    withoutExtras->grainLevel.reset();
    const auto result =
        exported(*original.source, *withoutExtras, original.folder / "r.png", optionsFor(ExportFormat::png));
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->report.note);
    const double red = std::stod(
        run(magick("convert '" + (original.folder / "r.png").string() + "' -format '%[fx:p{30,30}.r]' info:")));
    EXPECT_NEAR(red, 0.7462, 0.01); // sRGB (0.8, 0.2, 0.2) in Display P3
}

TEST(Exporter, LeavesHiddenColourAndGrainOutOfTheFlatPicture)
{
    Original original;
    const auto outcome = outcomeFor(*original.source, relit(original.source->image));
    auto plain = std::make_shared<DevelopInput>(*outcome);
    plain->looks.reset();
    plain->grainLevel.reset();
    const ExportOptions options = optionsFor(ExportFormat::png);
    ASSERT_TRUE(exported(*original.source, *outcome, original.folder / "hidden.png", options, 0.8, 0.0005, false));
    ASSERT_TRUE(exported(*original.source, *plain, original.folder / "plain.png", options, 0.8, 0.7, false));
    const auto differing = [&](const std::string& a, const std::string& b) {
        return run(magick("compare -metric AE '" + (original.folder / a).string() + "' '" +
                          (original.folder / b).string() + "' null: 2>&1"));
    };
    EXPECT_EQ(differing("hidden.png", "plain.png"), "0");

    // And both, when shown, change it.
    ASSERT_TRUE(exported(*original.source, *outcome, original.folder / "shown.png", options, 0.8, 0.7, true));
    EXPECT_NE(differing("shown.png", "plain.png"), "0");
}
