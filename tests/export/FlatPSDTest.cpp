#include "export/LayeredTestSupport.h"

#include "export/FlatPSD.h"

#include "develop/codecs/Metadata.h"

#include <nlohmann/json.hpp>

namespace oxel {
namespace {

using layeredtest::fileBytes;
using layeredtest::run;
using layeredtest::ScratchFolder;

uint16_t sampleAt(int64_t x, int64_t y, int c)
{
    return uint16_t((x * 3001 + y * 17 + c * 9000) % 65536);
}

Bitmap bitmapOf(int64_t width, int64_t height, PixelFormat format, const ColourSpace& space = {})
{
    auto bitmap = Bitmap::allocate(width, height, format, space);
    const int channels = channelCount(format);
    const bool wide = bytesPerSample(format) == 2;
    for (int64_t y = 0; y < height; ++y)
        for (int64_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                const uint16_t value = c == 3 ? 1234 : sampleAt(x, y, c);
                if (wide)
                    reinterpret_cast<uint16_t*>(bitmap->mutableRow(y))[x * channels + c] = value;
                else
                    bitmap->mutableRow(y)[x * channels + c] = uint8_t(value >> 8);
            }
    return *bitmap;
}

class FlatDocument : public ::testing::Test {
protected:
    ScratchFolder folder;

    nlohmann::json inspect(const std::filesystem::path& file)
    {
        return nlohmann::json::parse(layeredtest::inspectDocument(file, folder.path()));
    }

    void expectComposite(int64_t width, int64_t height, bool sixteenBit)
    {
        const auto bytes = fileBytes(folder / "composite.raw");
        ASSERT_EQ(bytes.size(), size_t(width * height * 6));
        for (int64_t i = 0; i < width * height; ++i)
            for (int c = 0; c < 3; ++c) {
                const uint16_t read = uint16_t(bytes[size_t(i * 6 + c * 2)] | bytes[size_t(i * 6 + c * 2 + 1)] << 8);
                const uint16_t written = sampleAt(i % width, i / width, c);
                ASSERT_EQ(read, sixteenBit ? written : uint16_t((written >> 8) * 257)) << i << " channel " << c;
            }
    }
};

TEST_F(FlatDocument, CarriesTheCompositeProfileAndMetadataWithoutLayers)
{
    Metadata metadata;
    ASSERT_TRUE(metadata.setText("Exif.Image.Model", "Field Camera"));
    ASSERT_TRUE(metadata.setText("Iptc.Application2.Caption", "harbour at dawn"));
    const auto path = folder / "flat.psd";
    ASSERT_FALSE(writeFlatPSD(bitmapOf(21, 13, PixelFormat::RGBX16, ColourSpace::displayP3()), path, 300,
                              metadata.iptcBytes(), metadata.exifBytes()));

    const auto report = inspect(path);
    EXPECT_EQ(report["version"], 1);
    EXPECT_EQ(report["depth"], 16);
    EXPECT_TRUE(report["layers"].empty());
    EXPECT_EQ(report["resources"], nlohmann::json::array({1005, 1028, 1039, 1058}));
    expectComposite(21, 13, true);
    const auto tags =
        run("exiftool -s -s -s -Model -Caption-Abstract -ProfileDescription -XResolution '" + path.string() + "'");
    EXPECT_EQ(tags, "Field Camera\nharbour at dawn\nDisplay P3\n300\n");
}

TEST_F(FlatDocument, EightBitPicturesStayEightBitAndDropTheirAlpha)
{
    const auto path = folder / "flat8.psd";
    ASSERT_FALSE(writeFlatPSD(bitmapOf(9, 7, PixelFormat::RGBA8), path, 72));
    const auto report = inspect(path);
    EXPECT_EQ(report["depth"], 8);
    expectComposite(9, 7, false);
    EXPECT_EQ(report["resources"], nlohmann::json::array({1005}));
}

TEST_F(FlatDocument, APictureWiderThan30000PixelsIsALargeDocument)
{
    const auto path = folder / "wide.psb";
    ASSERT_FALSE(writeFlatPSD(bitmapOf(30001, 2, PixelFormat::RGB16), path, 72));
    const auto report = inspect(path);
    EXPECT_EQ(report["version"], 2);
    expectComposite(30001, 2, true);
    int status = 0;
    const auto listing = run(layeredtest::magick("identify '" + path.string() + "' 2>&1"), &status);
    EXPECT_EQ(status, 0) << listing;
}

TEST_F(FlatDocument, RefusesWhatADocumentCannotHoldAndLeavesNoFile)
{
    const auto tooWide = writeFlatPSD(bitmapOf(300001, 1, PixelFormat::RGB8), folder / "wide.psd", 72);
    ASSERT_TRUE(tooWide);
    EXPECT_EQ(tooWide->description(), "canvas is larger than a PSB allows");
    EXPECT_TRUE(writeFlatPSD(bitmapOf(3, 3, PixelFormat::Gray16), folder / "grey.psd", 72));
    EXPECT_TRUE(writeFlatPSD(bitmapOf(3, 3, PixelFormat::RGB8), folder / "missing" / "x.psd", 72));
    EXPECT_TRUE(folder.entries().empty());
}

} // namespace
} // namespace oxel
