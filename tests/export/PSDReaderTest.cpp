#include "export/LayeredTestSupport.h"

#include "export/ByteWriter.h"
#include "export/FlatPSD.h"
#include "export/PSDReader.h"
#include "export/PSDWriter.h"

#include "imaging/RenderContext.h"
#include "support/LinkRacer.h"

#include <tiffio.h>
#include <zlib.h>

namespace oxel {
namespace {

using layeredtest::fileBytes;
using layeredtest::pictureOf;
using layeredtest::run;
using layeredtest::ScratchFolder;

uint16_t originalSample(int64_t x, int64_t y, int c)
{
    return uint16_t((x * 4099 + y * 257 + c * 12345) % 65536);
}
uint16_t otherSample(int64_t x, int64_t y, int c)
{
    return uint16_t(x + y + c);
}

std::optional<PSDReader::Original> readBytes(const std::vector<uint8_t>& bytes)
{
    return PSDReader::readOriginal(PSDReader::MemorySource(bytes));
}

struct TIFFPixels {
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 0, orientation = 0;
    std::vector<uint16_t> pixels;
    std::vector<uint8_t> icc;
};

// The extracted file as libtiff reads it.
TIFFPixels readTIFF(const std::filesystem::path& path)
{
    TIFFPixels out;
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff) return out;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &out.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &out.height);
    TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &out.bits);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &out.samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &out.orientation);
    uint32_t iccCount = 0;
    void* iccData = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &iccCount, &iccData))
        out.icc.assign(static_cast<uint8_t*>(iccData), static_cast<uint8_t*>(iccData) + iccCount);
    out.pixels.resize(size_t(out.width) * out.height * 3);
    for (uint32_t y = 0; y < out.height; ++y) TIFFReadScanline(tiff, out.pixels.data() + size_t(y) * out.width * 3, y);
    TIFFClose(tiff);
    return out;
}

class LayeredReader : public ::testing::Test {
protected:
    ScratchFolder folder;
    RenderContext context;
    const std::vector<uint8_t> profile = ColourSpace::displayP3().icc;

    std::filesystem::path written(const std::string& name, int64_t width, int64_t height, bool layeredTIFF,
                                  const std::string& bottomName = "original")
    {
        PSDWriter writer;
        writer.width = width;
        writer.height = height;
        writer.context = &context;
        writer.iccProfile = profile;
        std::vector<PSDLayer> layers;
        layers.push_back(
            {bottomName, PSDBlend::normal, 1.0, true, pictureOf(width, height, originalSample), std::nullopt, 255});
        layers.push_back({"original", PSDBlend::linearLight, 1.0, true, pictureOf(width, height, otherSample),
                          pictureOf(width, height, otherSample), 255});
        const auto path = folder / name;
        EXPECT_FALSE(writer.write(layers, path, pictureOf(width, height, otherSample), layeredTIFF));
        return path;
    }

    void expectOriginal(const TIFFPixels& tiff, int64_t width, int64_t height)
    {
        ASSERT_EQ(tiff.width, width);
        ASSERT_EQ(tiff.height, height);
        EXPECT_EQ(tiff.bits, 16);
        EXPECT_EQ(tiff.samples, 3);
        EXPECT_EQ(tiff.orientation, 1);
        for (int64_t y = 0; y < height; ++y)
            for (int64_t x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(tiff.pixels[size_t((y * width + x) * 3 + c)], originalSample(x, y, c))
                        << x << "," << y << " channel " << c;
    }
};

TEST_F(LayeredReader, TakesTheOriginalOutOfADocumentALargeDocumentAndALayeredTIFF)
{
    const std::vector<std::tuple<std::string, int64_t, int64_t, bool>> files = {
        {"doc.psd", 23, 19, false}, {"large.psb", 30001, 2, false}, {"layers.tif", 23, 19, true}};
    for (const auto& [name, width, height, layeredTIFF] : files) {
        const auto source = written(name, width, height, layeredTIFF);
        const auto destination = folder / "cache" / "deep" / (name + ".tif");
        ASSERT_TRUE(PSDReader::extractOriginal(source, destination, std::nullopt)) << name;
        const auto tiff = readTIFF(destination);
        expectOriginal(tiff, width, height);
        EXPECT_EQ(tiff.icc, profile) << name;
        int status = 0;
        const auto info = run("tiffinfo '" + destination.string() + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << info;
    }
}

TEST_F(LayeredReader, CarriesTheCallersMetadataButClaimsTheUprightOrientation)
{
    const auto source = written("doc.psd", 8, 6, false);
    Metadata properties;
    ASSERT_TRUE(properties.setText("Exif.Photo.DateTimeOriginal", "2024:05:01 10:00:00"));
    ASSERT_TRUE(properties.setText("Exif.Image.Model", "Field Camera"));
    ASSERT_TRUE(properties.setInteger("Exif.Image.Orientation", 6));
    ASSERT_TRUE(properties.setInteger("Xmp.tiff.Orientation", 6));
    const auto destination = folder / "original.tif";
    ASSERT_TRUE(PSDReader::extractOriginal(source, destination, properties));

    const auto tags = run("exiftool -s -s -s -n -DateTimeOriginal -Model -IFD0:Orientation -XMP-tiff:Orientation '" +
                          destination.string() + "'");
    EXPECT_EQ(tags, "2024:05:01 10:00:00\nField Camera\n1\n1\n");
    const auto tiff = readTIFF(destination);
    expectOriginal(tiff, 8, 6);
    EXPECT_EQ(tiff.icc, profile);
}

TEST_F(LayeredReader, ExtractionNeverWritesThroughALinkSwappedInForItsTemporary)
{
    const auto source = written("doc.psd", 8, 6, false);
    ScratchFolder elsewhere;
    const auto victim = elsewhere / "victim.tif";
    ASSERT_TRUE(PSDReader::extractOriginal(source, victim, std::nullopt));
    const auto victimBytes = fileBytes(victim);
    Metadata properties;
    ASSERT_TRUE(properties.setText("Exif.Image.Model", "Field Camera"));

    for (int run = 0; run < 6; ++run) {
        ScratchFolder target;
        const auto destination = target / "original.tif";
        testing::LinkRacer racer(target.path(), victim);
        const bool extracted = PSDReader::extractOriginal(source, destination, properties);
        EXPECT_EQ(fileBytes(victim), victimBytes) << "the link's target was written";
        if (extracted) {
            EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(destination)));
            expectOriginal(readTIFF(destination), 8, 6);
        } else {
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(destination)));
        }
    }
}

TEST_F(LayeredReader, ADocumentWithoutAUsableProfileGivesAnSRGBTIFF)
{
    for (const auto& stored :
         std::vector<std::optional<std::vector<uint8_t>>>{std::nullopt, std::vector<uint8_t>{1, 2, 3}}) {
        PSDWriter writer;
        writer.width = 4;
        writer.height = 4;
        writer.context = &context;
        writer.iccProfile = stored;
        const auto source = folder / "plain.psd";
        ASSERT_FALSE(writer.write({{"original", PSDBlend::normal, 1.0, true, pictureOf(4, 4, originalSample), {}, 255}},
                                  source, pictureOf(4, 4, otherSample), false));
        const auto destination = folder / "plain.tif";
        ASSERT_TRUE(PSDReader::extractOriginal(source, destination, std::nullopt));
        EXPECT_EQ(readTIFF(destination).icc, ColourSpace::sRGB().icc);
    }
}

TEST_F(LayeredReader, OnlyABottomLayerNamedOriginalCounts)
{
    for (const std::string name : {"Original", "smooth"}) {
        const auto source = written(name + ".psd", 5, 5, false, name);
        EXPECT_FALSE(PSDReader::extractOriginal(source, folder / "out.tif", std::nullopt)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "out.tif"));
    EXPECT_FALSE(PSDReader::extractOriginal(folder / "missing.psd", folder / "out.tif", std::nullopt));
}

TEST_F(LayeredReader, RefusesFlatEightBitOtherModesAndLittleEndianFiles)
{
    auto bitmap = Bitmap::allocate(4, 4, PixelFormat::RGBX8);
    ASSERT_FALSE(writeFlatPSD(*bitmap, folder / "flat8.psd", 72));
    EXPECT_FALSE(readBytes(fileBytes(folder / "flat8.psd")));

    auto cmyk = fileBytes(written("cmyk.psd", 4, 4, false));
    ASSERT_TRUE(readBytes(cmyk));
    cmyk[25] = 4;
    EXPECT_FALSE(readBytes(cmyk));

    auto littleEndian = fileBytes(written("le.tif", 4, 4, true));
    ASSERT_TRUE(readBytes(littleEndian));
    littleEndian[0] = littleEndian[1] = 'I';
    EXPECT_FALSE(readBytes(littleEndian));
}

TEST_F(LayeredReader, EveryTruncationOfAFileIsRefused)
{
    for (bool layeredTIFF : {false, true}) {
        const auto bytes = fileBytes(written(layeredTIFF ? "t.tif" : "t.psd", 6, 5, layeredTIFF));
        ASSERT_TRUE(readBytes(bytes));
        // The composite comes last, so a file cut inside it still holds the whole original.
        const size_t originalEnd = bytes.size() - 6 * 5 * 6;
        for (size_t length = 0; length < originalEnd - 200; ++length)
            ASSERT_FALSE(readBytes({bytes.begin(), bytes.begin() + long(length)})) << length;
    }
}

// A document made by hand, for the variations the writer never produces.
struct HandMade {
    int16_t layerCount = 1;
    uint16_t compression = 3;
    uint32_t width = 3, height = 2;
    std::optional<uint64_t> claimedLength;
    // What the layer record claims, when it is not the size of the stored samples.
    std::optional<std::pair<uint32_t, uint32_t>> claimedSize;

    std::vector<uint8_t> bytes() const
    {
        std::vector<std::vector<uint8_t>> channels;
        for (int c = 0; c < 3; ++c) {
            std::vector<uint8_t> plain;
            for (uint32_t y = 0; y < height; ++y) {
                uint16_t previous = 0;
                for (uint32_t x = 0; x < width; ++x) {
                    const uint16_t value = originalSample(x, y, c);
                    const uint16_t stored = compression == 3 ? uint16_t(value - previous) : value;
                    plain.push_back(uint8_t(stored >> 8));
                    plain.push_back(uint8_t(stored));
                    previous = value;
                }
            }
            if (compression == 2 || compression == 3) {
                std::vector<uint8_t> packed(compressBound(uLong(plain.size())));
                uLongf size = uLongf(packed.size());
                compress(packed.data(), &size, plain.data(), uLong(plain.size()));
                packed.resize(size);
                plain = packed;
            }
            channels.push_back(plain);
        }
        ByteWriter info;
        info.putU16(uint16_t(layerCount));
        for (int layer = 0; layer < std::abs(layerCount); ++layer) {
            info.putU32(0);
            info.putU32(0);
            info.putU32(claimedSize ? claimedSize->second : height);
            info.putU32(claimedSize ? claimedSize->first : width);
            info.putU16(3);
            for (int16_t c = 0; c < 3; ++c) {
                info.putU16(uint16_t(c));
                info.putU32(uint32_t(claimedLength.value_or(channels[size_t(c)].size() + 2)));
            }
            info.append("8BIMnorm");
            info.putU32(0xFF000800);
            ByteWriter extra;
            extra.putU32(0);
            extra.putU32(0);
            extra.putPascal("original", 4);
            info.putU32(uint32_t(extra.size()));
            info.append(extra.bytes);
        }
        for (int layer = 0; layer < std::abs(layerCount); ++layer)
            for (const auto& channel : channels) {
                info.putU16(compression);
                info.append(channel);
            }
        ByteWriter file;
        file.append("8BPS");
        file.putU16(1);
        file.putZeros(6);
        file.putU16(3);
        file.putU32(height);
        file.putU32(width);
        file.putU16(16);
        file.putU16(3);
        file.putU32(0);
        file.putU32(0);
        file.putU32(uint32_t(4 + 4 + 12 + info.size()));
        file.putU32(0);
        file.putU32(0);
        file.append("8BIMLr16");
        file.putU32(uint32_t(info.size()));
        file.append(info.bytes);
        return file.bytes;
    }
};

TEST(LayeredReaderChannels, ReadsRawZipAndPredictedZipButNotRunLengthChannels)
{
    for (uint16_t compression : {0, 2, 3}) {
        const auto original = readBytes(HandMade{1, compression, 3, 2, {}, {}}.bytes());
        ASSERT_TRUE(original) << compression;
        ASSERT_EQ(original->samples.size(), 3u * 2u * 3u);
        for (uint32_t y = 0; y < 2; ++y)
            for (uint32_t x = 0; x < 3; ++x)
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(original->samples[(y * 3 + x) * 3 + size_t(c)], originalSample(x, y, c));
    }
    EXPECT_FALSE(readBytes(HandMade{1, 1, 3, 2, {}, {}}.bytes()));
    EXPECT_FALSE(readBytes(HandMade{1, 4, 3, 2, {}, {}}.bytes()));
}

TEST(LayeredReaderChannels, ANegativeLayerCountCountsItsLayers)
{
    EXPECT_TRUE(readBytes(HandMade{-3, 3, 3, 2, {}, {}}.bytes()));
    EXPECT_FALSE(readBytes(HandMade{0, 3, 3, 2, {}, {}}.bytes()));
}

TEST(LayeredReaderChannels, LengthsAndSizesBeyondTheFileAreRefusedBeforeAnythingIsAllocated)
{
    // A huge canvas behind a few compressed bytes, and a channel claiming more than the file holds.
    const std::pair<uint32_t, uint32_t> huge{300000, 300000};
    EXPECT_FALSE(readBytes(HandMade{1, 3, 3, 2, {}, huge}.bytes()));
    EXPECT_FALSE(readBytes(HandMade{1, 0, 3, 2, {}, huge}.bytes()));
    EXPECT_FALSE(readBytes(HandMade{1, 3, 3, 2, {}, std::pair<uint32_t, uint32_t>{300001, 1}}.bytes()));
    EXPECT_FALSE(readBytes(HandMade{1, 3, 3, 2, 0xFFFFFFF0u, {}}.bytes()));
}

} // namespace
} // namespace oxel
