#include "develop/HDRGainMap.h"
#include "develop/SourceImage.h"
#include "develop/codecs/HEIFCodec.h"
#include "develop/codecs/HEIFTransforms.h"
#include "develop/codecs/MultiPictureIndex.h"

#include "develop/HEIFGainMapFile.h"
#include "imaging/RenderContext.h"
#include "support/PictureFiles.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

using test::Bytes;

const test::Pattern flatMap(double value)
{
    return [value](int, int, int) { return value; };
}

// A photograph of `width` x `height` whose second picture is a grey gain map.
Bytes photoWithMap(int width, int height, int mapWidth, int mapHeight, const test::Pattern& map,
                   const std::string& mapXmp, int orientation = 1)
{
    test::JPEGOptions primary;
    if (orientation != 1) {
        Metadata m;
        m.setText("Exif.Image.Orientation", std::to_string(orientation));
        primary.exif = m.exifBytes();
    }
    test::JPEGOptions secondary;
    secondary.components = 1;
    secondary.quality = 100;
    secondary.extraSegments = {test::xmpSegment(mapXmp)};
    return test::assembleMultiPictureJPEG(test::encodeJPEG(width, height, test::gradientOf(width, height), primary),
                                          {test::encodeJPEG(mapWidth, mapHeight, map, secondary)});
}

Image uniform(double value, double width, double height)
{
    const float v = float(value);
    return Image::constant({v, v, v}).cropped(Rect::ofSize(width, height));
}

std::vector<RGB> render(const Image& image)
{
    const Rect e = image.extent();
    std::vector<RGB> out(size_t(e.width * e.height));
    RenderContext().render(image, PixelRect{0, 0, int64_t(e.width), int64_t(e.height)}, out.data(), size_t(e.width));
    return out;
}

// ---- Containers --------------------------------------------------------------------------------

TEST(MultiPictureIndex, EncodesWhatItParsesInEitherByteOrder)
{
    for (bool big : {true, false}) {
        MultiPictureIndex index;
        index.bigEndian = big;
        index.entries = {{0x20030000, 5000, 0, 0, 0}, {0, 1200, 4900, 0, 0}, {0x010001, 300, 6100, 1, 2}};
        EXPECT_EQ(MultiPictureIndex::parse(index.encoded()), index);
    }
}

TEST(MultiPictureIndex, DamagedIndexGivesNothing)
{
    MultiPictureIndex index;
    index.entries = {{0x20030000, 5000, 0, 0, 0}, {0, 1200, 4900, 0, 0}};
    const Bytes good = index.encoded();
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(MultiPictureIndex::parse(std::span(good).first(cut))) << cut;
    Bytes lying = good;
    lying[8 + 2 + 12 + 8 + 3] = 3; // three pictures claimed, two listed
    EXPECT_FALSE(MultiPictureIndex::parse(lying));
    Bytes far = good;
    far[8 + 2 + 24 + 8] = 0x7F; // entry data far past the end
    EXPECT_FALSE(MultiPictureIndex::parse(far));
}

TEST(GainMapLocator, FindsTheMapOfAMultiPictureJPEGByItsXmp)
{
    const Bytes iso =
        photoWithMap(64, 48, 16, 12, flatMap(0.5), test::isoGainMapXmp(R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="2")"));
    ASSERT_TRUE(containsGainMap(iso));
    const auto map = readGainMap(iso);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->kind, GainMapKind::iso);
    EXPECT_EQ(map->pixels.width(), 16);
    EXPECT_EQ(map->pixels.height(), 12);
    EXPECT_EQ(map->metadata.number("Xmp.hdrgm.GainMapMax"), 2.0);

    const Bytes apple = photoWithMap(64, 48, 16, 12, flatMap(0.5), test::appleGainMapXmp());
    ASSERT_TRUE(readGainMap(apple));
    EXPECT_EQ(readGainMap(apple)->kind, GainMapKind::hdr);

    // A second picture that is only a preview is no gain map.
    const Bytes preview = photoWithMap(64, 48, 16, 12, flatMap(0.5), R"(<x:xmpmeta xmlns:x="adobe:ns:meta/"/>)");
    EXPECT_FALSE(containsGainMap(preview));
    EXPECT_FALSE(readGainMap(preview));
}

TEST(GainMapLocator, OnlyTheFirstPictureStartsAtTheFileItself)
{
    // The primary describes its map in the published vocabulary, as such files do; a damaged
    // index that puts the second picture at offset 0 must not make the primary its own map.
    test::JPEGOptions primary;
    primary.extraSegments = {test::xmpSegment(test::isoGainMapXmp(R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="2")"))};
    test::JPEGOptions secondary;
    secondary.components = 1;
    Bytes file = test::assembleMultiPictureJPEG(test::encodeJPEG(32, 24, test::gradientOf(32, 24), primary),
                                                {test::encodeJPEG(8, 6, flatMap(0.5), secondary)});
    ASSERT_FALSE(containsGainMap(file));
    const auto located = locateMultiPictureIndex(file);
    ASSERT_TRUE(located);
    MultiPictureIndex index = located->index;
    index.entries[1].offset = 0;
    const Bytes patched = index.encoded();
    std::copy(patched.begin(), patched.end(), file.begin() + std::ptrdiff_t(located->base));

    const auto damaged = locateMultiPictureIndex(file);
    ASSERT_TRUE(damaged);
    EXPECT_TRUE(damaged->picture(file, 0));
    EXPECT_FALSE(damaged->picture(file, 1));
    EXPECT_FALSE(containsGainMap(file));
    EXPECT_FALSE(readGainMap(file));
}

TEST(GainMapLocator, AMapLargerThanItsPictureIsNoMap)
{
    test::TempFolder folder;
    const std::string xmp = test::isoGainMapXmp(R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="2")");
    // Same size, half size, and turned against the picture are all ordinary maps.
    for (const auto& [w, h] : {std::pair{64, 48}, std::pair{32, 24}, std::pair{48, 64}}) {
        const Bytes file = photoWithMap(64, 48, w, h, flatMap(0.5), xmp);
        EXPECT_TRUE(containsGainMap(file)) << w << "x" << h;
        ASSERT_TRUE(readGainMap(file));
        EXPECT_EQ(readGainMap(file)->pixels.width(), w);
    }
    for (const auto& [w, h] : {std::pair{640, 480}, std::pair{65, 48}, std::pair{64, 49}}) {
        const Bytes file = photoWithMap(64, 48, w, h, flatMap(0.5), xmp);
        EXPECT_FALSE(containsGainMap(file)) << w << "x" << h;
        EXPECT_FALSE(readGainMap(file));
        EXPECT_FALSE(gainMapMetadata(file));
        std::string reason;
        EXPECT_FALSE(HDRGainMap::transfer(file, uniform(0.9, 64, 48), RenderContext(), reason));
        EXPECT_EQ(reason, "no-map:public.jpeg");
    }
    const auto path = folder / "giant-map.jpg";
    test::writeFile(path, photoWithMap(80, 60, 800, 600, flatMap(0.5), xmp));
    EXPECT_FALSE(SourceImage::load(path).hasGainMap());

    const Bytes heic = test::heicWithGainMap(64, 48, 128, 96, flatMap(0.5), test::appleGainMapXmp());
    EXPECT_FALSE(containsGainMap(heic));
    EXPECT_FALSE(readGainMap(heic));
    EXPECT_TRUE(containsGainMap(test::heicWithGainMap(64, 48, 64, 48, flatMap(0.5), test::appleGainMapXmp())));
}

TEST(GainMapLocator, IndexIsReadAlikeByAnIndependentReader)
{
    test::TempFolder folder;
    const Bytes file = photoWithMap(64, 48, 16, 12, flatMap(0.5), test::appleGainMapXmp());
    test::writeFile(folder / "hdr.jpg", file);
    const std::string report = test::run("exiftool -s -s -s -NumberOfImages -MPImageStart -MPImageLength '" +
                                         (folder / "hdr.jpg").string() + "'");
    const auto index = locateMultiPictureIndex(file);
    ASSERT_TRUE(index);
    const auto& second = index->index.entries[1];
    EXPECT_EQ(report, "2\n" + std::to_string(index->base + second.offset) + "\n" + std::to_string(second.size) + "\n");
}

TEST(GainMapLocator, LoadedOriginalKnowsItCarriesAMap)
{
    test::TempFolder folder;
    const auto path = folder / "hdr.jpg";
    test::writeFile(path, photoWithMap(64, 48, 16, 12, flatMap(0.5), test::appleGainMapXmp()));
    const SourceImage source = SourceImage::load(path);
    EXPECT_TRUE(source.hasGainMap());
    const auto carried = source.gainMapFile();
    ASSERT_TRUE(carried);
    EXPECT_EQ(Bytes(carried->begin(), carried->end()), test::readFile(path));
    const auto plain = folder / "plain.jpg";
    test::writeFile(plain, test::encodeJPEG(8, 8, test::gradientOf(8, 8)));
    EXPECT_FALSE(SourceImage::load(plain).hasGainMap());
    EXPECT_FALSE(SourceImage::load(plain).gainMapFile());
}

// ---- Parameters --------------------------------------------------------------------------------

TEST(GainMapParams, ReadFromXmpNumbersOnly)
{
    const auto params = [](const std::string& attributes) {
        return HDRGainMap::Params::of(*Metadata::fromXmp(test::isoGainMapXmp(attributes)));
    };
    EXPECT_EQ(params(R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="2")"), (HDRGainMap::Params{0, 2, 1}));
    EXPECT_EQ(params(R"(hdrgm:GainMapMin="-1" hdrgm:GainMapMax="3.5" hdrgm:Gamma="2.2")"),
              (HDRGainMap::Params{-1, 3.5, 2.2f}));
    EXPECT_FALSE(params(R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="0")"));
    EXPECT_FALSE(params(R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="two")"));
    EXPECT_FALSE(params(R"(hdrgm:GainMapMax="2")"));
    // An exponent of zero would make every value infinite; it reads as the default.
    EXPECT_EQ(params(R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="2" hdrgm:Gamma="0")"), (HDRGainMap::Params{0, 2, 1}));
}

TEST(GainMapParams, ValuesThatAreNotFiniteAreNeitherReadNorWrittenBack)
{
    const auto xmp = [](const std::string& attributes) {
        return *Metadata::fromXmp(test::isoGainMapXmp(attributes + R"( hdrgm:OffsetSDR="0.015625")"));
    };
    for (const std::string bad : {"NaN", "1e400", "-inf", "Infinity", "-1e-400"}) {
        SCOPED_TRACE(bad);
        const Metadata both = xmp(R"(hdrgm:GainMapMin=")" + bad + R"(" hdrgm:GainMapMax=")" + bad + R"(")");
        EXPECT_FALSE(HDRGainMap::Params::of(both));
        const Metadata written = HDRGainMap::writableMetadata(both);
        EXPECT_FALSE(written.contains("Xmp.hdrgm.GainMapMin"));
        EXPECT_FALSE(written.contains("Xmp.hdrgm.GainMapMax"));
        EXPECT_EQ(written.number("Xmp.hdrgm.OffsetSDR"), 0.015625);

        const Metadata gamma = xmp(R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="2" hdrgm:Gamma=")" + bad + R"(")");
        EXPECT_EQ(HDRGainMap::Params::of(gamma), (HDRGainMap::Params{0, 2, 1}));
        EXPECT_FALSE(HDRGainMap::writableMetadata(gamma).contains("Xmp.hdrgm.Gamma"));
        EXPECT_EQ(HDRGainMap::writableMetadata(gamma).number("Xmp.hdrgm.GainMapMax"), 2.0);
    }
    // Text that is no number at all, and an exponent that reading takes as the default.
    const Metadata odd =
        xmp(R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="2" hdrgm:Gamma="0" hdrgm:BaseRenditionIsHDR="False")");
    const Metadata written = HDRGainMap::writableMetadata(odd);
    EXPECT_FALSE(written.contains("Xmp.hdrgm.Gamma"));
    EXPECT_EQ(written.text("Xmp.hdrgm.BaseRenditionIsHDR"), "False");
}

// ---- Transfer ----------------------------------------------------------------------------------

class GainMapTransfer : public ::testing::Test {
protected:
    RenderContext context;
    std::string reason;
};

TEST_F(GainMapTransfer, DarkPicturesLoseTheGainAndBrightOnesKeepIt)
{
    const Bytes apple = photoWithMap(64, 48, 16, 12, flatMap(0.6), test::appleGainMapXmp());
    const auto dark = HDRGainMap::transfer(apple, uniform(0.3, 64, 48), context, reason);
    ASSERT_TRUE(dark);
    EXPECT_EQ(reason, "applied:apple");
    EXPECT_EQ(dark->encoding, "apple");
    EXPECT_EQ(dark->params, (HDRGainMap::Params{0, 1, 1}));
    EXPECT_EQ(dark->image.extent(), Rect::ofSize(16, 12));
    for (RGB v : render(dark->image)) EXPECT_NEAR(v.r, 0.0, 1e-6);

    const auto bright = HDRGainMap::transfer(apple, uniform(0.9, 64, 48), context, reason);
    ASSERT_TRUE(bright);
    for (RGB v : render(bright->image)) EXPECT_NEAR(v.r, 0.6, 0.005);
    EXPECT_NEAR(*bright->sourceMean, 0.6, 0.006);
    EXPECT_NEAR(*bright->appliedMean, 0.6, 0.006);
}

TEST_F(GainMapTransfer, IsoMapsScaleTheGainInStops)
{
    // Stops from -1 to 3: a stored 0.75 (gamma 1) is 2 stops; 0 stops is stored as 0.25.
    const Bytes iso = photoWithMap(64, 48, 16, 12, flatMap(0.75),
                                   test::isoGainMapXmp(R"(hdrgm:GainMapMin="-1" hdrgm:GainMapMax="3")"));
    const auto dark = HDRGainMap::transfer(iso, uniform(0.2, 64, 48), context, reason);
    ASSERT_TRUE(dark);
    EXPECT_EQ(reason, "applied:iso");
    for (RGB v : render(dark->image)) EXPECT_NEAR(v.r, 0.25, 1e-5);
    EXPECT_NEAR(*dark->sourceMean, 2.0, 0.02);
    EXPECT_EQ(*dark->appliedMean, double(0.0f));
    const auto bright = HDRGainMap::transfer(iso, uniform(1.0, 64, 48), context, reason);
    for (RGB v : render(bright->image)) EXPECT_NEAR(v.r, 0.75, 0.005);
}

TEST_F(GainMapTransfer, GammaDecodesAsItsPublishedConvention)
{
    // Stored values are the normalised gain raised to gamma: 0.25 with gamma 2 is half the range.
    const RGB half = HDRGainMap::gainModulate({0.25f, 0, 0}, {0.5f, 0, 0}, 0, 4, 2, 1);
    // 2 stops, halved to 1, is a quarter of the range, stored as 0.25 ^ 2.
    EXPECT_NEAR(half.r, 0.0625, 1e-6);
    EXPECT_EQ(HDRGainMap::gainModulate({1.5f, 0, 0}, {1, 0, 0}, 0, 1, 1, 0).r, 1.0f);
    EXPECT_NEAR(HDRGainMap::gainWeight({0.7f, 0.7f, 0.7f}, 0.55f, 0.85f).r, 0.5, 1e-5);
    EXPECT_EQ(HDRGainMap::gainWeight({0.9f, 0.9f, 0.9f}, 0.55f, 0.85f).r, 1.0f);
}

TEST_F(GainMapTransfer, MapTurnsWithThePicture)
{
    // Stored landscape with orientation 6: the picture comes out portrait, and so must the map.
    const test::Pattern ramp = [](int x, int, int) { return x < 8 ? 0.1 : 0.9; };
    const Bytes turned = photoWithMap(64, 48, 16, 12, ramp, test::appleGainMapXmp(), 6);
    const auto result = HDRGainMap::transfer(turned, uniform(1.0, 48, 64), context, reason);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->image.extent(), Rect::ofSize(12, 16));
    const auto values = render(result->image);
    EXPECT_NEAR(values[1 * 12 + 6].r, 0.1, 0.03); // the stored left half is now on top
    EXPECT_NEAR(values[14 * 12 + 6].r, 0.9, 0.03);
    // A turn that keeps the aspect ratio is applied too.
    const Bytes upsideDown = photoWithMap(64, 48, 16, 12, ramp, test::appleGainMapXmp(), 3);
    const auto rotated = render(HDRGainMap::transfer(upsideDown, uniform(1.0, 64, 48), context, reason)->image);
    EXPECT_NEAR(rotated[6 * 16 + 1].r, 0.9, 0.03);
    EXPECT_NEAR(rotated[6 * 16 + 14].r, 0.1, 0.03);
}

TEST_F(GainMapTransfer, SaysWhyThereIsNoMap)
{
    EXPECT_FALSE(
        HDRGainMap::transfer(test::encodeJPEG(8, 8, test::gradientOf(8, 8)), uniform(1, 8, 8), context, reason));
    EXPECT_EQ(reason, "no-map:public.jpeg");
    EXPECT_FALSE(
        HDRGainMap::transfer(test::encodePNG(8, 8, test::gradientOf(8, 8)), uniform(1, 8, 8), context, reason));
    EXPECT_EQ(reason, "no-map:public.png");
    EXPECT_FALSE(HDRGainMap::transfer(Bytes{1, 2, 3}, uniform(1, 8, 8), context, reason));
    EXPECT_EQ(reason, "no-map:unreadable");
    const Bytes file = photoWithMap(64, 48, 16, 12, flatMap(0.5), test::appleGainMapXmp());
    EXPECT_FALSE(HDRGainMap::transfer(file, Image(), context, reason));
    EXPECT_EQ(reason, "no-render");
}

TEST_F(GainMapTransfer, MeanIsRoundedInSinglePrecision)
{
    // 0.617 of a 0...2 range is 1.234 stops, reported as the float nearest 1.23.
    const auto mean = HDRGainMap::meanStops(uniform(0.617, 4, 4), context, 0, 2, 1);
    ASSERT_TRUE(mean);
    EXPECT_EQ(*mean, double(1.23f));
    EXPECT_NE(*mean, 1.23);
    EXPECT_FALSE(HDRGainMap::meanStops(Image(), context, 0, 1, 1));
}

TEST_F(GainMapTransfer, AuxiliaryDataIsOneByteAPixelWithTheOriginalMetadata)
{
    const Bytes file =
        photoWithMap(64, 48, 16, 12, flatMap(0.6), test::isoGainMapXmp(R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="2")"));
    const auto result = HDRGainMap::transfer(file, uniform(1.0, 64, 48), context, reason);
    ASSERT_TRUE(result);
    const auto data = HDRGainMap::auxiliaryData(*result, file, context);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->width, 16);
    EXPECT_EQ(data->height, 12);
    EXPECT_EQ(data->bytesPerRow, 16);
    EXPECT_EQ(data->pixelFormat, 0x4C303038u);
    ASSERT_EQ(data->data.size(), 16u * 12u);
    for (uint8_t v : data->data) EXPECT_NEAR(v, 153, 2);
    ASSERT_TRUE(data->metadata);
    EXPECT_EQ(data->metadata->number("Xmp.hdrgm.GainMapMax"), 2.0);
    EXPECT_EQ(data->kind, GainMapKind::iso);

    HDRGainMap::Result empty = *result;
    empty.image = uniform(0.5, 0, 5);
    EXPECT_FALSE(HDRGainMap::auxiliaryData(empty, file, context));
}

TEST_F(GainMapTransfer, TheWrittenMetadataCarriesOnlyFiniteParameters)
{
    const Bytes file = photoWithMap(64, 48, 16, 12, flatMap(0.6),
                                    test::isoGainMapXmp(R"(hdrgm:GainMapMin="NaN" hdrgm:GainMapMax="1e400")"));
    const auto result = HDRGainMap::transfer(file, uniform(1.0, 64, 48), context, reason);
    ASSERT_TRUE(result);
    EXPECT_EQ(reason, "applied:apple");
    const auto data = HDRGainMap::auxiliaryData(*result, file, context);
    ASSERT_TRUE(data && data->metadata);
    const std::string packet = data->metadata->xmpPacket();
    EXPECT_EQ(packet.find("NaN"), std::string::npos);
    EXPECT_EQ(packet.find("1e400"), std::string::npos);
    EXPECT_NE(packet.find("hdrgm"), std::string::npos);
}

} // namespace
} // namespace oxel

namespace oxel {
namespace {

TEST(HEIFGainMap, AuxiliaryMapIsFoundAndCarried)
{
    const Bytes file = test::heicWithGainMap(64, 48, 32, 24, flatMap(0.6), test::appleGainMapXmp());
    test::TempFolder folder;
    test::writeFile(folder / "hdr.heic", file);
    // An independent reader sees the auxiliary picture too.
    const std::string info =
        test::run("exiftool -s -s -s -QuickTime:AuxiliaryImageType '" + (folder / "hdr.heic").string() + "'");
    EXPECT_EQ(info, "urn:com:apple:photo:2020:aux:hdrgainmap\n");

    ASSERT_TRUE(containsGainMap(file));
    const auto map = readGainMap(file);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->container, GainMapContainer::heifAuxiliary);
    EXPECT_EQ(map->kind, GainMapKind::hdr);
    EXPECT_EQ(map->pixels.width(), 32);
    EXPECT_EQ(map->pixels.height(), 24);
    EXPECT_TRUE(map->metadata.contains("Xmp.HDRGainMap.HDRGainMapVersion"));

    const SourceImage source = SourceImage::load(folder / "hdr.heic");
    EXPECT_TRUE(source.hasGainMap());
    EXPECT_EQ(source.pixelWidth, 64);

    std::string reason;
    RenderContext context;
    const auto result = HDRGainMap::transfer(file, uniform(1.0, 64, 48), context, reason);
    ASSERT_TRUE(result);
    EXPECT_EQ(reason, "applied:apple");
    for (RGB v : render(result->image)) EXPECT_NEAR(v.r, 0.6, 0.02);
    const auto data = HDRGainMap::auxiliaryData(*result, file, context);
    ASSERT_TRUE(data && data->metadata);
    EXPECT_EQ(data->container, GainMapContainer::heifAuxiliary);
}

TEST(HEIFGainMap, MapWithoutTurnsOfItsOwnTurnsWithThePicture)
{
    // The primary is turned a quarter anticlockwise by the container; the map is stored as the
    // primary is, landscape, its left half dark.
    const test::Pattern halves = [](int x, int, int) { return x < 16 ? 0.1 : 0.9; };
    const Bytes file = test::heicWithGainMap(64, 48, 32, 24, halves, test::appleGainMapXmp(), 1);
    std::string reason;
    RenderContext context;
    const auto result = HDRGainMap::transfer(file, uniform(1.0, 48, 64), context, reason);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->image.extent(), Rect::ofSize(24, 32));
    const auto values = render(result->image);
    // Turned anticlockwise, the stored left half ends at the bottom.
    EXPECT_NEAR(values[30 * 24 + 12].r, 0.1, 0.05);
    EXPECT_NEAR(values[1 * 24 + 12].r, 0.9, 0.05);

    // A map with its own turn is turned by the container already, and not again.
    const Bytes both = test::heicWithGainMap(64, 48, 32, 24, halves, test::appleGainMapXmp(), 1, 1);
    const auto turnedOnce = HDRGainMap::transfer(both, uniform(1.0, 48, 64), context, reason);
    ASSERT_TRUE(turnedOnce);
    EXPECT_EQ(turnedOnce->image.extent(), Rect::ofSize(24, 32));
    EXPECT_NEAR(render(turnedOnce->image)[30 * 24 + 12].r, 0.1, 0.05);
}

TEST(HEIFTransforms, ReadsTheTurnsOfEachItem)
{
    const Bytes file = test::heicWithGainMap(64, 48, 32, 24, flatMap(0.5), test::appleGainMapXmp(), 3);
    const auto heif = HEIFFile::open(file);
    ASSERT_TRUE(heif);
    heif_item_id primary = 0;
    heif_context_get_primary_image_ID(heif->context(), &primary);
    EXPECT_EQ(heifItemTransforms(file, primary), (std::vector<int>{6}));
    EXPECT_EQ(heifItemTransforms(file, 999), (std::vector<int>{}));
    for (size_t cut : {size_t(10), size_t(100), file.size() / 2})
        EXPECT_FALSE(heifItemTransforms(std::span(file).first(cut), primary)) << cut;
}

TEST(HEIFGainMap, SecondPictureWithoutTheAuxiliaryTypeIsNoMap)
{
    test::HeicOptions options;
    const Bytes plain = test::encodeHeic(32, 32, test::gradientOf(32, 32), options);
    EXPECT_FALSE(containsGainMap(plain));
    std::string reason;
    EXPECT_FALSE(HDRGainMap::transfer(plain, uniform(1, 32, 32), RenderContext(), reason));
    EXPECT_EQ(reason, "no-map:public.heic");
}

} // namespace
} // namespace oxel
