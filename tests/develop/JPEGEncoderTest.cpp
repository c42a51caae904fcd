#include "develop/PictureHelpers.h"

#include "develop/codecs/JPEGEncoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace oxel {
namespace {

std::string run(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    return out;
}

std::filesystem::path written(const std::vector<uint8_t>& bytes, const char* name)
{
    const auto path = std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

Bitmap gradient(const ColourSpace& space)
{
    const Image image = test::picture(64, 48, [](int x, int y) { return RGB{x / 64.0f, y / 48.0f, 0.5f}; });
    return *RenderContext().renderBitmap(image, {0, 0, 64, 48}, PixelFormat::RGBX8, space);
}

TEST(JPEGEncoder, WritesAFileOthersReadWithItsProfile)
{
    const Bitmap p3 = gradient(ColourSpace::displayP3());
    auto jpeg = encodeJPEG(p3, 80, p3.colourSpace().icc);
    ASSERT_TRUE(jpeg);
    const auto path = written(*jpeg, "-encoder.jpg");
    EXPECT_EQ(run("identify -format '%w %h %[colorspace]' '" + path.string() + "' 2>&1"), "64 48 sRGB");
    const std::string description = run("exiftool -s3 -ProfileDescription '" + path.string() + "' 2>&1");
    EXPECT_NE(description.find("P3"), std::string::npos) << description;
    std::filesystem::remove(path);
}

TEST(JPEGEncoder, KeepsColoursAndRefusesWhatItCannotWrite)
{
    const Bitmap source = gradient({});
    auto jpeg = encodeJPEG(source, 95, {});
    ASSERT_TRUE(jpeg);
    const auto path = written(*jpeg, "-colours.jpg");
    // The pixel at (32, 24) is about (128, 128, 128).
    const std::string pixel =
        run("convert '" + path.string() + "' -format '%[fx:int(255*p{32,24}.r)] %[fx:int(255*p{32,24}.g)]' info: 2>&1");
    int r = 0, g = 0;
    ASSERT_EQ(std::sscanf(pixel.c_str(), "%d %d", &r, &g), 2) << pixel;
    EXPECT_NEAR(r, 128, 4);
    EXPECT_NEAR(g, 128, 4);
    std::filesystem::remove(path);

    EXPECT_FALSE(encodeJPEG(Bitmap(), 80, {}));
    EXPECT_FALSE(encodeJPEG(*Bitmap::allocate(4, 4, PixelFormat::RGB16), 80, {}));
}

TEST(JPEGEncoder, WritesGreyAndDropsAlpha)
{
    auto grey = Bitmap::allocate(16, 8, PixelFormat::Gray8);
    std::memset(grey->mutableData(), 200, grey->byteCount());
    auto greyJPEG = encodeJPEG(*grey, 90, {});
    ASSERT_TRUE(greyJPEG);
    const auto greyPath = written(*greyJPEG, "-grey.jpg");
    EXPECT_EQ(run("identify -format '%w %h %[colorspace] %[fx:int(255*mean+0.5)]' '" + greyPath.string() + "' 2>&1"),
              "16 8 Gray 200");
    std::filesystem::remove(greyPath);

    const Image image = test::picture(16, 8, [](int, int) { return RGB{0.2f, 0.4f, 0.6f}; });
    const Bitmap rgba = *RenderContext().renderBitmap(image, {0, 0, 16, 8}, PixelFormat::RGBA8);
    auto rgbaJPEG = encodeJPEG(rgba, 90, {});
    ASSERT_TRUE(rgbaJPEG);
    const auto rgbaPath = written(*rgbaJPEG, "-rgba.jpg");
    EXPECT_EQ(run("identify -format '%[channels]' '" + rgbaPath.string() + "' 2>&1").substr(0, 4), "srgb");
    std::filesystem::remove(rgbaPath);
}

TEST(JPEGEncoder, MapsFractionsOntoItsQualityScale)
{
    EXPECT_EQ(jpegQuality(0.8), 80);
    EXPECT_EQ(jpegQuality(0.925), 93);
    EXPECT_EQ(jpegQuality(0), 1);
    EXPECT_EQ(jpegQuality(1.5), 100);
    EXPECT_EQ(jpegQuality(std::nan("")), 1);
}

} // namespace
} // namespace oxel
