#include "BandFixture.h"

#include "ui/window/BandRules.h"
#include "ui/window/LightboxRules.h"

#include <gtest/gtest.h>

using namespace oxel;
using namespace oxel::testing;

namespace {

std::shared_ptr<BatchItem> itemAt(std::filesystem::path url, std::optional<SourceImage> source = std::nullopt,
                                  bool thumbnail = true)
{
    return BatchItem::make(Uuid::random(), std::move(url), Origin::opened, std::move(source),
                           thumbnail ? std::optional(gradientPicture(30, 20)) : std::nullopt);
}

std::shared_ptr<BatchItem> developedItem(const ResultShape& shape, bool loaded = true)
{
    auto item = itemAt("/photos/a.jpg", loaded ? std::optional(SourceImage{}) : std::nullopt);
    item->setResult(developedResult(shape));
    return item;
}

} // namespace

TEST(BandRules, BuiltInPlaceholdersRotateUntilSuggestionsArrive)
{
    const auto& builtIn = bands::builtInPlaceholders();
    ASSERT_EQ(builtIn.size(), 9u);
    EXPECT_EQ(builtIn.front(), "harder sun");
    EXPECT_TRUE(builtIn.back().ends_with(" style"));
    std::size_t index = 0;
    std::vector<std::string> shown;
    for (int tick = 0; tick < 10; ++tick) {
        shown.push_back(bands::placeholderAt(bands::placeholders({}), index));
        index = bands::nextPlaceholderIndex(index, "", bands::placeholders({}).size());
    }
    EXPECT_EQ(shown[8], builtIn[8]);
    EXPECT_EQ(shown[9], "harder sun") << "the ninth wraps to the first";

    // Suggestions change the modulus: an index counted among nine is never read past three.
    const std::vector<std::string> suggested{"golden hour", "overcast", "window light"};
    EXPECT_EQ(&bands::placeholders(suggested), &suggested);
    EXPECT_EQ(bands::placeholderAt(suggested, 7), "overcast");
    EXPECT_EQ(bands::nextPlaceholderIndex(7, "", suggested.size()), 2u);
    EXPECT_EQ(bands::placeholderAt({}, 5), "");
    EXPECT_EQ(bands::nextPlaceholderIndex(5, "", 0), 5u);
}

TEST(BandRules, AnyTextStopsTheRotationAndBlanksCountAsText)
{
    EXPECT_EQ(bands::nextPlaceholderIndex(4, "w", 9), 4u);
    EXPECT_EQ(bands::nextPlaceholderIndex(4, " ", 9), 4u);
    EXPECT_EQ(bands::nextPlaceholderIndex(4, "\n", 9), 4u);
    EXPECT_EQ(bands::nextPlaceholderIndex(4, "", 9), 5u) << "resumes from where it stopped";
}

TEST(BandRules, ResetShowsOnlyForACarriedOverLookThatDiffersFromTheHouses)
{
    EXPECT_FALSE(bands::resetShown(true, true));
    EXPECT_FALSE(bands::resetShown(false, false));
    EXPECT_TRUE(bands::resetShown(false, true));
    EXPECT_EQ(bands::nudgeHelp(true), "goes into every image below. edit one to unlink it.");
    EXPECT_EQ(bands::nudgeHelp(false), "goes into every image below, and every batch after. edit one to unlink it.");
}

TEST(BandRules, ColourBandNeedsSuggestedGradesAndSomeResultWithLooks)
{
    const auto plain = itemAt("/photos/plain.jpg");
    const auto withoutLooks = developedItem({.looks = false});
    const auto withLooks = developedItem({});
    EXPECT_FALSE(bands::showsColourBand(true, {}));
    EXPECT_FALSE(bands::showsColourBand(true, {plain, withoutLooks}));
    EXPECT_TRUE(bands::showsColourBand(true, {plain, withoutLooks, withLooks}));
    EXPECT_FALSE(bands::showsColourBand(false, {withLooks}));
}

TEST(BandRules, LightOfferTakesTheFirstColourOnlyResultWithItsOriginalLoaded)
{
    const auto notLoaded = developedItem({.colourOnly = true}, false);
    const auto backend = developedItem({});
    const auto loaded = developedItem({.colourOnly = true});
    EXPECT_EQ(bands::lightOfferItem({notLoaded, backend, loaded}), loaded);
    EXPECT_EQ(bands::lightOfferItem({notLoaded, backend}), nullptr);
    EXPECT_TRUE(bands::showsLightOffer({notLoaded, loaded}, 0));
    EXPECT_FALSE(bands::showsLightOffer({notLoaded, loaded}, 1)) << "hidden while anything is in flight";
}

TEST(LightboxRules, PictureForComparingPreviewThumbnailAndNothing)
{
    using Picture = lightbox::Picture;
    auto item = itemAt("/photos/a.jpg");
    EXPECT_EQ(lightbox::chosenPicture(*item, false), Picture::thumbnail);
    EXPECT_EQ(lightbox::chosenPicture(*item, true), Picture::thumbnail) << "the original preview is not ready";
    item->setPreviewImage(gradientPicture(30, 20, 40));
    EXPECT_EQ(lightbox::chosenPicture(*item, false), Picture::developedPreview);
    EXPECT_EQ(lightbox::chosenPicture(*item, true), Picture::thumbnail);
    item->setOriginalPreview(gradientPicture(30, 20, -40));
    EXPECT_EQ(lightbox::chosenPicture(*item, true), Picture::originalPreview);
    EXPECT_EQ(lightbox::pictureHandle(*item, Picture::originalPreview), item->originalPreview());

    const auto bare = itemAt("/photos/b.jpg", std::nullopt, false);
    EXPECT_EQ(lightbox::chosenPicture(*bare, false), Picture::none);
    EXPECT_EQ(lightbox::pictureHandle(*bare, Picture::none), std::nullopt);
}

TEST(LightboxRules, InfoLineForLoadedOfflineAndNotYetLoadedOriginals)
{
    SourceImage source;
    source.pixelWidth = 6000;
    source.pixelHeight = 4000;
    source.bitsPerComponent = 16;
    const auto loaded = itemAt("/photos/a.jpg", source);
    EXPECT_EQ(lightbox::infoLine(*loaded), "6000×4000 · 16-bit · " + source.profileLabel());

    const auto offline = itemAt("/photos/b.jpg");
    offline->setAvailability(Availability::offline("offline · the disk “archive” is not connected"));
    EXPECT_EQ(lightbox::infoLine(*offline), "offline · the disk “archive” is not connected");
    offline->setAvailability(Availability::changed("changed since · pick it again"));
    EXPECT_EQ(lightbox::infoLine(*offline), "changed since · pick it again");

    EXPECT_EQ(lightbox::infoLine(*itemAt("/photos/c.jpg")), "") << "present, not loaded yet";
}

TEST(LightboxRules, HintsInOrder)
{
    auto item = itemAt("/photos/a.jpg");
    EXPECT_EQ(lightbox::hint(*item, true), "original");
    EXPECT_EQ(lightbox::hint(*item, false), "not developed yet");
    item->setResult(developedResult());
    EXPECT_EQ(lightbox::hint(*item, false), "hold space to compare · ← → next");
    EXPECT_EQ(lightbox::hint(*item, true), "original");
}

TEST(LightboxRules, LightTrackNeedsAPlanWithinItsLimit)
{
    const float limit = developedResult()->transfer.limits().refineDivergenceLimit;
    EXPECT_TRUE(lightbox::lightTrackEnabled(*developedItem({.divergence = limit}))) << "equal counts as within";
    EXPECT_TRUE(lightbox::lightTrackEnabled(*developedItem({.divergence = 0})));
    EXPECT_FALSE(lightbox::lightTrackEnabled(*developedItem({.divergence = limit + 0.01f})));
    EXPECT_FALSE(lightbox::lightTrackEnabled(*developedItem({.divergence = std::nullopt}))) << "declined plan";
    EXPECT_FALSE(lightbox::lightTrackEnabled(*itemAt("/photos/a.jpg")));
}

TEST(LightboxRules, ColourRowScansTheBatchForLooks)
{
    const auto withLooks = developedItem({});
    const auto withoutLooks = developedItem({.looks = false});
    const auto plain = itemAt("/photos/plain.jpg");
    EXPECT_TRUE(lightbox::colourRowShown(true, {plain, withoutLooks, withLooks}, *withLooks));
    EXPECT_FALSE(lightbox::colourRowShown(true, {plain, withoutLooks, withLooks}, *withoutLooks));
    EXPECT_FALSE(lightbox::colourRowShown(true, {plain}, *withLooks)) << "no item of the batch carries looks";
    EXPECT_FALSE(lightbox::colourRowShown(false, {withLooks}, *withLooks));
    EXPECT_FALSE(lightbox::colourRowShown(true, {plain}, *plain));
}
