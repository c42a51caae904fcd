#include "develop/Grain.h"

#include "develop/EmbeddedGrain.h"
#include "imaging/RenderContext.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <png.h>

#include <cmath>
#include <thread>
#include <vector>

namespace oxel {
namespace {

// The textures are this many pixels a side: a 24 MP picture enlarges them about 3x.
constexpr int64_t side = 2048;

TEST(GrainTest, StableHashMatchesItsPublishedValues)
{
    EXPECT_EQ(Grain::stableHash(""), 0x14650FB0739D0383ull);
    EXPECT_EQ(Grain::stableHash("abc"), 0xE16801510DB89EFDull);
    EXPECT_EQ(Grain::stableHash("a"), 0x44BD8AD473CD9906ull);
}

TEST(GrainTest, NamesTheTextureByLevelAndSeed)
{
    EXPECT_EQ(Grain::textureName(2, ""), "grain_2b");
    EXPECT_EQ(Grain::textureName(1, "abc"), "grain_1c");
    EXPECT_EQ(Grain::textureName(3, "a"), "grain_3a");
    EXPECT_EQ(Grain::textureName(0, "a"), "grain_1a");
    EXPECT_EQ(Grain::textureName(-4, "a"), "grain_1a");
    EXPECT_EQ(Grain::textureName(7, "a"), "grain_3a");
    // Bytes, not characters: a job id with non-ASCII text hashes its UTF-8 form.
    EXPECT_EQ(Grain::stableHash("\xC3\xA9"),
              (((0x14650FB0739D0383ull ^ 0xC3) * 0x100000001B3ull) ^ 0xA9) * 0x100000001B3ull);
}

TEST(GrainTest, LooksAtTheTopOfTheResourcesBeforeTheGrainFolder)
{
    const uint8_t bytes[] = {'x'};
    std::vector<EmbeddedFile> resources{{"grain/grain_1a.png", bytes}};
    EXPECT_EQ(Grain::textureFile("grain_1a", resources)->path, "grain/grain_1a.png");
    resources.push_back({"grain_1a.png", bytes});
    EXPECT_EQ(Grain::textureFile("grain_1a", resources)->path, "grain_1a.png");
    EXPECT_FALSE(Grain::textureFile("grain_2a", resources));
}

TEST(GrainTest, OneJobIdAlwaysWearsTheSameGrain)
{
    const Rect extent = Rect::ofSize(300, 200);
    const auto first = Grain::image(2, "job-42", extent);
    const auto again = Grain::image(2, "job-42", extent);
    ASSERT_TRUE(first && again);
    std::vector<RGB> a(300 * 200), b(300 * 200);
    RenderContext().render(*first, PixelRect{0, 0, 300, 200}, a.data(), 300);
    RenderContext().render(*again, PixelRect{0, 0, 300, 200}, b.data(), 300);
    EXPECT_EQ(a, b);
    // Another job id that hashes to another variant wears other grain.
    ASSERT_NE(Grain::textureName(2, "job-42"), Grain::textureName(2, "job-43"));
    std::vector<RGB> c(300 * 200);
    RenderContext().render(*Grain::image(2, "job-43", extent), PixelRect{0, 0, 300, 200}, c.data(), 300);
    EXPECT_NE(a, c);
}

TEST(GrainTest, ThreadsShareOneCachedTexture)
{
    std::optional<Image> first, second;
    std::thread one([&] { first = Grain::texture(3, "shared"); });
    std::thread two([&] { second = Grain::texture(3, "shared"); });
    one.join();
    two.join();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->node(), second->node());
}

TEST(GrainTest, CoversExactlyTheExtentScaledByTheLongEdge)
{
    for (const Rect extent : {Rect::ofSize(4000, 3000), Rect::ofSize(3000, 4000), Rect{-20, 30, 500, 100}}) {
        const auto grain = Grain::image(1, "x", extent);
        ASSERT_TRUE(grain);
        EXPECT_EQ(grain->extent(), extent);
    }
    // Edges clamped: no dark rim where the scaled texture meets the crop.
    const Rect extent = Rect::ofSize(1500, 700);
    const auto grain = Grain::image(3, "x", extent);
    std::vector<RGB> row(1500);
    RenderContext().render(*grain, PixelRect{0, 0, 1500, 1}, row.data(), 1500);
    double mean = 0;
    for (const RGB& p : row) mean += p.r;
    EXPECT_NEAR(mean / 1500, 0.5, 0.02);
    EXPECT_FALSE(Grain::image(1, "x", Rect::ofSize(0, 10)));
}

TEST(GrainTest, CentresTheTextureOnThePicture)
{
    // At the texture's own width nothing is resampled: a landscape picture shows the texture's
    // middle rows, a portrait one (scaled by its long edge, the height) its middle columns.
    const auto texture = Grain::texture(2, "centre");
    ASSERT_TRUE(texture);
    ASSERT_EQ(texture->extent(), Rect::ofSize(side, side));
    std::vector<RGB> whole(side * side);
    RenderContext().render(*texture, PixelRect{0, 0, side, side}, whole.data(), side);
    const auto grainOver = [](const Rect& extent) {
        std::vector<RGB> pixels(size_t(extent.width * extent.height));
        RenderContext().render(
            *Grain::image(2, "centre", extent),
            PixelRect{int64_t(extent.x), int64_t(extent.y), int64_t(extent.width), int64_t(extent.height)},
            pixels.data(), size_t(extent.width));
        return pixels;
    };
    const auto landscape = grainOver(Rect{10, -5, side, side / 2});
    const auto portrait = grainOver(Rect::ofSize(side / 2, side));
    for (int64_t y : {int64_t(0), side / 5, side / 2 - 1})
        for (int64_t x : {int64_t(0), side / 3, side - 1})
            EXPECT_NEAR(landscape[size_t(y * side + x)].r, whole[size_t((y + side / 4) * side + x)].r, 1e-5f);
    for (int64_t y : {int64_t(0), side * 2 / 3, side - 1})
        for (int64_t x : {int64_t(0), side / 5, side / 2 - 1})
            EXPECT_NEAR(portrait[size_t(y * (side / 2) + x)].r, whole[size_t(y * side + x + side / 4)].r, 1e-5f);
}

TEST(GrainTest, KeptPreviewGrainIsTheGrainItStandsFor)
{
    // A preview-sized grain picture is rendered once and kept; the kept pixels must be exactly
    // those of the recipe, for the first request, a repeated one, and one that moves the extent.
    const auto texture = Grain::texture(2, "job-kept");
    ASSERT_TRUE(texture);
    for (const Rect extent :
         {Rect{0, 0, 301, 199}, Rect{0, 0, 301, 199}, Rect{40, 10, 301, 199}, Rect{0, 0, 120, 333}}) {
        const auto kept = Grain::image(2, "job-kept", extent);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->extent(), extent);
        const PixelRect pixels{int64_t(extent.x), int64_t(extent.y), int64_t(extent.width), int64_t(extent.height)};
        std::vector<RGB> got(size_t(pixels.area())), expected(size_t(pixels.area()));
        RenderContext().render(*kept, pixels, got.data(), size_t(pixels.width));
        RenderContext().render(Grain::placed(*texture, extent), pixels, expected.data(), size_t(pixels.width));
        ASSERT_EQ(got, expected);
    }
}

TEST(GrainTest, MiddleGreyGrainLeavesThePictureAlone)
{
    const Rect extent = Rect::ofSize(40, 30);
    const Image picture = Image::constant({0.2f, 0.5f, 0.9f}).cropped(extent);
    const Image grey = Image::constant({0.5f, 0.5f, 0.5f}).cropped(Rect::ofSize(100, 100));
    const Image result = Grain::apply(grey, picture);
    EXPECT_EQ(result.extent(), extent);
    std::vector<RGB> pixels(40 * 30);
    RenderContext().render(result, PixelRect{0, 0, 40, 30}, pixels.data(), 40);
    EXPECT_NEAR(pixels[5].r, 0.2f, 1e-6f);
    EXPECT_NEAR(pixels[5].g, 0.5f, 1e-6f);
    EXPECT_NEAR(pixels[5].b, 0.9f, 1e-6f);
}

// The SHA-256 of a grey PNG's pixels, rows top first: the grain as it is worn, whatever the
// encoder that wrote the file made of its bytes.
std::string pixelDigestOf(std::span<const uint8_t> file)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, file.data(), file.size())) return {};
    png.format = PNG_FORMAT_GRAY;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) return {};
    unsigned char digest[32];
    unsigned int length = 0;
    EVP_Digest(pixels.data(), pixels.size(), digest, &length, EVP_sha256(), nullptr);
    static const char* hex = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < length; ++i) text += {hex[digest[i] >> 4], hex[digest[i] & 15]};
    return text;
}

TEST(GrainTexturesTest, BuiltFilesAreTheGeneratedOnes)
{
    // A changed texture changes the grain of every result already delivered.
    const std::pair<const char*, const char*> expected[] = {
        {"grain_1a", "e793a1346220977b29fb1c4c16f1628c0118e087053fd2dd9aaf937e1daaa3bb"},
        {"grain_1b", "90f6b9bc507aa71a8ab89f4ceca8dbce8a4a335d86bedb2b6774d55ff201bbf0"},
        {"grain_1c", "14ba0f7600b3bccef71e1fa53bb71bb16ee539e5f397ccf2db33a394487138b9"},
        {"grain_2a", "0e7e22000f13f0963e98a44ea752007cb645616465ddf281c96948d984c6995d"},
        {"grain_2b", "aa26557532b802d08ab79a8d83738b29fb68fc11723b79813ff33330b820882e"},
        {"grain_2c", "3c7461827ac1a08397b3f46f642e4548dcebd0dcf09e3948332f113d8aabfda8"},
        {"grain_3a", "4cfb1a2271977c67425aa2ffc5556599e157c4ff7ba6be2e0df5994dbe6b4c52"},
        {"grain_3b", "f54b86d9f8296312159ab18d129ff1c5ec75dda114b02bf19fd97b2249b8357a"},
        {"grain_3c", "519477e614e512b68b93be786bbe684a64b989a5ccd8f8441d28c97ad2dde7e0"},
    };
    for (const auto& [name, digest] : expected) {
        const EmbeddedFile* file = Grain::textureFile(name, embeddedGrainTextures());
        ASSERT_TRUE(file) << name;
        EXPECT_EQ(pixelDigestOf(file->bytes), digest) << name;
    }
}

TEST(GrainTexturesTest, MiddleGreyNoiseRisingWithTheLevel)
{
    double previousDeviation = 0;
    for (int level = 1; level <= 3; ++level) {
        double levelDeviation = 0;
        for (const char* seed : {"a", "", "abc"}) { // variants a, b, c
            const auto texture = Grain::texture(level, seed);
            ASSERT_TRUE(texture);
            ASSERT_EQ(texture->extent(), Rect::ofSize(side, side));
            std::vector<RGB> pixels(side * side);
            RenderContext().render(*texture, PixelRect{0, 0, side, side}, pixels.data(), side);
            double sum = 0, square = 0;
            for (const RGB& p : pixels) {
                ASSERT_EQ(p.r, p.g);
                sum += p.r;
                square += double(p.r) * p.r;
            }
            const double mean = sum / double(pixels.size());
            const double deviation = std::sqrt(square / double(pixels.size()) - mean * mean);
            EXPECT_NEAR(mean, 0.5, 0.001) << level << seed;
            EXPECT_GT(deviation, 0.015);
            levelDeviation = std::max(levelDeviation, deviation);
            if (previousDeviation > 0) {
                EXPECT_GT(deviation, previousDeviation * 1.3) << level << seed;
            }
        }
        previousDeviation = levelDeviation;
    }
}

} // namespace
} // namespace oxel
