#include "export/HEICAuxiliary.h"
#include "export/HEICEncoder.h"
#include "export/JPEGGainMap.h"
#include "export/PNGEncoder.h"

#include <gtest/gtest.h>

using namespace oxel;

namespace {

Bitmap smallPicture()
{
    auto bitmap = *Bitmap::allocate(16, 8, PixelFormat::RGBX8, ColourSpace::sRGB());
    for (int64_t y = 0; y < 8; ++y)
        for (int64_t x = 0; x < 16; ++x) bitmap.mutableRow(y)[4 * x] = uint8_t(x * 16);
    return bitmap;
}

} // namespace

TEST(ContainerEdits, RefuseBytesOfAnotherKindAndLeaveThemAlone)
{
    std::vector<uint8_t> notHEIF = {0, 0, 0, 16, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c', 0, 0, 0, 0};
    const auto before = notHEIF;
    EXPECT_FALSE(makeAuxiliaryGainMap(notHEIF, 2, 1));
    EXPECT_EQ(notHEIF, before);

    const std::vector<uint8_t> jpegStart = {0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_FALSE(withGainMapPicture(std::vector<uint8_t>{1, 2, 3, 4, 5}, jpegStart, ""));
    EXPECT_FALSE(withGainMapPicture(jpegStart, std::vector<uint8_t>{1, 2, 3, 4}, ""));
    // An application segment whose length runs past the end.
    EXPECT_FALSE(endOfLeadingApplicationSegments(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00, 1, 2}));

    EXPECT_FALSE(withExifChunk(std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}, std::vector<uint8_t>{1}));
    auto png = encodePNG(smallPicture());
    ASSERT_TRUE(png);
    png->resize(40); // cut before the image data
    EXPECT_FALSE(withExifChunk(*png, std::vector<uint8_t>{'M', 'M', 0, 42}));
}

TEST(ContainerEdits, OnlyAMapItemOfTheFileCanBecomeAuxiliary)
{
    const auto heic = encodeHEIC(smallPicture(), 0.8);
    ASSERT_TRUE(heic);
    auto edited = *heic;
    EXPECT_FALSE(makeAuxiliaryGainMap(edited, 999, 1));
    EXPECT_EQ(edited, *heic);
}

TEST(ContainerEdits, TheMultiPictureIndexPointsAtTheAppendedMap)
{
    const std::vector<uint8_t> primary = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 'J', 'F', 0xFF, 0xDA, 0xFF, 0xD9};
    const std::vector<uint8_t> map = {0xFF, 0xD8, 0xFF, 0xDA, 0xFF, 0xD9};
    const auto file = withGainMapPicture(primary, map, "");
    ASSERT_TRUE(file);
    // SOI, the APP0 segment, then the APP2 "MPF" segment with its TIFF header.
    const size_t mpf = 2 + 6;
    ASSERT_EQ((*file)[mpf + 1], 0xE2);
    const size_t tiffHeader = mpf + 4 + 4;
    const auto read32 = [&](size_t at) {
        return uint32_t((*file)[at]) << 24 | uint32_t((*file)[at + 1]) << 16 | uint32_t((*file)[at + 2]) << 8 |
               (*file)[at + 3];
    };
    const size_t secondEntry = tiffHeader + 8 + 2 + 3 * 12 + 4 + 16;
    const uint32_t primarySize = read32(secondEntry - 16 + 4);
    const uint32_t mapSize = read32(secondEntry + 4), mapOffset = read32(secondEntry + 8);
    EXPECT_EQ(primarySize + mapSize, file->size());
    EXPECT_EQ(tiffHeader + mapOffset, primarySize);
    EXPECT_EQ(std::vector<uint8_t>(file->begin() + std::ptrdiff_t(primarySize), file->end()), map);
}
