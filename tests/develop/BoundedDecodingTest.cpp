// Files that claim far more work or memory than their bytes can hold are refused before the work
// is done, while real pictures of the same kinds keep loading.

#include "develop/SourceImage.h"
#include "develop/codecs/GainMapLocator.h"
#include "develop/codecs/JPEGStructure.h"
#include "develop/codecs/PictureCodec.h"
#include "platform/ProcessMemory.h"

#include "support/HostileFiles.h"
#include "support/PictureFiles.h"

#include <gtest/gtest.h>

#include <tiffio.h>
#include <unistd.h>

namespace oxel {
namespace {

using test::Bytes;

// ---- Progressive JPEG scans --------------------------------------------------------------------

TEST(BoundedJPEG, AnOrdinaryProgressionDecodes)
{
    const Bytes file = test::flatProgressiveJPEG(250, 170, 3, 3);
    const auto scans = jpegScans(file);
    ASSERT_TRUE(scans);
    EXPECT_EQ(scans->count, 10);
    EXPECT_TRUE(scans->progressive);
    EXPECT_TRUE(jpegDecodingIsBounded(file));
    const auto samples = jpeg::decode(file, 0);
    ASSERT_TRUE(samples);
    EXPECT_EQ(samples->width, 250);
    EXPECT_EQ(samples->height, 170);
}

TEST(BoundedJPEG, ThousandsOfLegalScansAreRefusedBeforeDecoding)
{
    // Each repeated first AC scan is legal and makes the decoder pass over every block again.
    for (const auto& [components, rounds] : {std::pair{1, 300}, std::pair{3, 100}}) {
        const Bytes bomb = test::flatProgressiveJPEG(1024, 1024, components, rounds);
        ASSERT_TRUE(jpegScans(bomb)) << components;
        EXPECT_FALSE(jpegDecodingIsBounded(bomb)) << components;
        EXPECT_FALSE(jpeg::decode(bomb, 0)) << components;
        EXPECT_FALSE(jpeg::decode(bomb, 64)) << "reduced decoding reads every scan as well";
    }
    // Fewer scans that still visit every block many more times than any real progression does.
    const Bytes revisits = test::flatProgressiveJPEG(512, 512, 1, 40);
    EXPECT_EQ(jpegScans(revisits)->count, 41);
    EXPECT_FALSE(jpeg::decode(revisits, 0));
}

TEST(BoundedJPEG, RealEncodersPassTheScanWalk)
{
    for (int components : {1, 3, 4}) {
        test::JPEGOptions options;
        options.components = components;
        const Bytes file = test::encodeJPEG(97, 61, test::gradientOf(97, 61), options);
        const auto scans = jpegScans(file);
        ASSERT_TRUE(scans) << components;
        EXPECT_EQ(scans->count, 1);
        EXPECT_FALSE(scans->progressive);
        EXPECT_TRUE(jpeg::decode(file, 0)) << components;
    }
}

TEST(BoundedJPEG, StrayBytesBetweenSegmentsAreSkippedAsDecodersDo)
{
    Bytes file = test::flatProgressiveJPEG(64, 48, 3, 3);
    const Bytes sos{0xFF, 0xDA};
    const auto first = std::search(file.begin(), file.end(), sos.begin(), sos.end());
    const auto second = std::search(first + 2, file.end(), sos.begin(), sos.end());
    ASSERT_NE(second, file.end());
    file.insert(second, {0xFF, 0xFE, 0x00, 0x04, 'h', 'i', 'x', 'y', 'z'});
    const auto scans = jpegScans(file);
    ASSERT_TRUE(scans);
    EXPECT_EQ(scans->count, 10);
    EXPECT_TRUE(jpeg::decode(file, 0));
}

TEST(BoundedJPEG, AStreamThatEndsEarlyIsRefusedBeforeItsPixelsAreAllocated)
{
    const Bytes file = test::flatProgressiveJPEG(250, 170, 3, 3);
    for (size_t cut : {file.size() - 2, file.size() / 2, size_t(400)}) {
        const Bytes truncated(file.begin(), file.begin() + std::ptrdiff_t(cut));
        EXPECT_FALSE(jpegScans(truncated)) << cut;
        EXPECT_FALSE(jpeg::decode(truncated, 0)) << cut;
    }
}

TEST(BoundedJPEG, ProgressiveCoefficientsBeyondTheBudgetAreRefused)
{
    // 400 megapixels of full-resolution colour would need 2.4 GB of coefficients from 2.3 MB.
    const Bytes huge = test::flatProgressiveJPEG(20000, 20000, 3, 1);
    const auto scans = jpegScans(huge);
    ASSERT_TRUE(scans);
    EXPECT_GT(scans->coefficientBytes, uint64_t(2) << 30);
    EXPECT_FALSE(jpegDecodingIsBounded(huge));
    EXPECT_FALSE(jpeg::decode(huge, 1024));
}

// ---- TIFF strips and tiles ---------------------------------------------------------------------

TEST(BoundedTIFF, PiecesThatShareTheirBytesAreRefused)
{
    for (int bits : {8, 32}) {
        const Bytes shared = test::sharedStripTIFF(1200, 900, 3, bits);
        EXPECT_FALSE(tiff::decode(shared, 0)) << bits;
        // The same file with every strip given its own bytes is an ordinary picture.
        const Bytes single = test::sharedStripTIFF(1200, 1, 3, bits);
        const auto samples = tiff::decode(single, 0);
        ASSERT_TRUE(samples) << bits;
        EXPECT_EQ(samples->width, 1200);
    }
}

TEST(BoundedTIFF, PiecesMustHoldEnoughBytesForTheirSamples)
{
    // A real deflated file whose strip lengths are cut down: its pieces stay apart and inside the
    // file, but far too few bytes remain for the size it claims.
    test::TIFFOptions options;
    Bytes file = test::encodeTIFF(
        64, 64, [](int, int, int) { return 0.5; }, options);
    EXPECT_TRUE(tiff::decode(file, 0));
    const auto u16At = [&](size_t at) { return uint16_t(file[at] | file[at + 1] << 8); };
    const auto u32At = [&](size_t at) {
        return uint32_t(file[at] | file[at + 1] << 8 | file[at + 2] << 16 | uint32_t(file[at + 3]) << 24);
    };
    const size_t directory = u32At(4);
    for (size_t entry = directory + 2; entry < directory + 2 + 12 * size_t(u16At(directory)); entry += 12) {
        if (u16At(entry) != TIFFTAG_STRIPBYTECOUNTS) continue;
        const uint32_t count = u32At(entry + 4);
        const size_t at = count == 1 ? entry + 8 : u32At(entry + 8);
        for (uint32_t i = 0; i < count; ++i) file[at + 4 * i] = 1, file[at + 4 * i + 1] = 0;
    }
    EXPECT_FALSE(tiff::decode(file, 0));
}

TEST(BoundedTIFF, RealLayoutsStillDecode)
{
    for (int tile : {0, 16}) {
        for (bool planar : {false, true}) {
            test::TIFFOptions options;
            options.tileSize = tile;
            options.planar = planar;
            options.bitsPerSample = 16;
            const Bytes file = test::encodeTIFF(50, 40, test::gradientOf(50, 40), options);
            EXPECT_TRUE(tiff::decode(file, 0)) << tile << planar;
        }
    }
}

// ---- PNG ---------------------------------------------------------------------------------------

TEST(BoundedPNG, ATruncatedFileIsRefusedBeforeItsPixelsAreAllocated)
{
    test::PNGOptions options;
    options.bitDepth = 16;
    options.channels = 4;
    const Bytes file = test::encodePNG(3000, 3000, test::gradientOf(3000, 3000), options);
    ASSERT_TRUE(png::decode(file, 0));
    for (size_t cut : {file.size() / 2, file.size() - 12}) {
        const Bytes truncated(file.begin(), file.begin() + std::ptrdiff_t(cut));
        resetResidentPeak();
        const size_t before = residentBytes();
        EXPECT_FALSE(png::decode(truncated, 0)) << cut;
        EXPECT_LT(residentPeakBytes() - before, size_t(16) << 20) << cut;
    }
    // Bytes after the end chunk are no damage.
    Bytes trailing = file;
    trailing.resize(file.size() + 100, 0);
    EXPECT_TRUE(png::decode(trailing, 0));
}

// ---- Files far larger than their pictures ------------------------------------------------------

TEST(BoundedMemory, APictureFollowedByAGigabyteIsNotReadWhole)
{
    test::TempFolder folder;
    test::JPEGOptions map;
    map.components = 1;
    map.extraSegments = {test::xmpSegment(test::isoGainMapXmp(R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="2")"))};
    const Bytes file = test::assembleMultiPictureJPEG(test::encodeJPEG(64, 48, test::gradientOf(64, 48)),
                                                      {test::encodeJPEG(16, 12, test::gradientOf(16, 12), map)});
    const auto path = folder / "tail.jpg";
    test::writeFile(path, file);
    // Zeros that take no room on the disk.
    const off_t tail = off_t(1) << 30;
    ASSERT_EQ(::truncate(path.c_str(), off_t(file.size()) + tail), 0);

    resetResidentPeak();
    const size_t before = residentBytes();
    const SourceImage source = SourceImage::load(path);
    EXPECT_TRUE(source.hasGainMap());
    EXPECT_TRUE(source.thumbnail(32));
    EXPECT_TRUE(source.storedPixels());
    const auto carried = source.gainMapFile();
    ASSERT_TRUE(carried);
    EXPECT_EQ(carried->size(), file.size() + size_t(tail));
    EXPECT_TRUE(readGainMap(*carried));
    EXPECT_LT(residentPeakBytes() - before, size_t(64) << 20);
}

TEST(BoundedMemory, AThumbnailHoldsLittleMoreThanTheDecodedPicture)
{
    // The 36 MB picture is averaged in blocks as its rows are decoded, and the small result shrunk:
    // neither it nor the tiles of the shrinking are ever held whole.
    test::TempFolder folder;
    const auto path = folder / "large.png";
    test::writeFile(path, test::encodePNG(4000, 3000, test::gradientOf(4000, 3000)));
    resetResidentPeak();
    const size_t before = residentBytes();
    const auto thumbnail = SourceImage::thumbnail(path, 64);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->width(), 64);
    EXPECT_LT(residentPeakBytes() - before, size_t(16) << 20);
}

} // namespace
} // namespace oxel
