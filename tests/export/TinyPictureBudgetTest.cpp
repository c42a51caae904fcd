#include "export/LayeredTestSupport.h"

#include "export/Exporter.h"

#include "develop/DevelopOrder.h"
#include "develop/SourceDecoding.h"
#include "develop/SourceImage.h"
#include "develop/TilePicture.h"
#include "develop/codecs/JPEGEncoder.h"
#include "imaging/PictureCache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

using namespace oxel;
using namespace oxel::layeredtest;

namespace {

using Bytes = std::vector<uint8_t>;

// A photograph-like picture with soft light, hard edges and fine texture, 8 bits.
Bitmap photograph(int64_t width, int64_t height, double warmth)
{
    Bitmap bitmap = *Bitmap::allocate(width, height, PixelFormat::RGBX8);
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap.mutableRow(y);
        for (int64_t x = 0; x < width; ++x) {
            const double u = double(x) / double(width), v = double(y) / double(height);
            const double edge = ((x * 16 / width + y * 12 / height) % 2) ? 0.15 : 0.0;
            for (int c = 0; c < 3; ++c) {
                const double texture = 0.04 * std::sin(double(x) * 1.7 + double(y) * 0.9 + c);
                const double value = 0.2 + 0.4 * (u + v) / 2 + edge + texture + (c == 0 ? warmth : -warmth / 2);
                row[4 * x + size_t(c)] = uint8_t(std::lround(std::clamp(value, 0.0, 1.0) * 255));
            }
        }
    }
    return bitmap;
}

Bytes fileBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes pixelsOf(const std::optional<Bitmap>& bitmap)
{
    if (!bitmap) return {};
    Bytes bytes;
    const size_t row = size_t(bitmap->width()) * size_t(bytesPerPixel(bitmap->format()));
    for (int64_t y = 0; y < bitmap->height(); ++y) bytes.insert(bytes.end(), bitmap->row(y), bitmap->row(y) + row);
    return bytes;
}

// A delivered result, rebuilt from the render's kept bytes as delivery and restoring build it.
DevelopInput resultOf(const SourceImage& source, const std::shared_ptr<const Bytes>& keptRender)
{
    const Image render = *decodedPicture(keptRender);
    DevelopInput result("job-11", render,
                        DetailTransfer(source.image, render, source.colorSpace, {}, reducedDecodes(source)));
    result.previewPlan = result.transfer.plan(false, true).plan;
    GradeLooks looks;
    looks.chosen.lift = {0.03, 0.0, -0.02};
    looks.chosen.saturation = 1.2;
    looks.alternative = looks.chosen;
    looks.alternative->gain = {0.8, 0.8, 0.8};
    looks.mask = GradeLooks::skinMask(render, result.transfer.context());
    result.looks = looks;
    result.grainLevel = 2;
    return result;
}

// Every picture a photographer can get from one original and its result, as bytes: intake's
// thumbnail and previews, the upload JPEG, the developed preview, the report JPEG, the look
// thumbnails, a flat and a layered export, and a restored result's preview. Whatever the cache
// holds is let go between the steps, as a small budget would do.
std::vector<Bytes> everything(const std::filesystem::path& original, const std::shared_ptr<const Bytes>& keptRender,
                              const ScratchFolder& folder, const std::string& run)
{
    std::vector<Bytes> pictures;
    const SourceImage source = SourceImage::load(original);
    pictures.push_back(pixelsOf(source.thumbnail(SourceImage::intakeThumbnailPixels)));
    pictures.push_back(pixelsOf(source.previewImage(SourceImage::sRGB(), false)));
    pictures.push_back(pixelsOf(source.previewImage(source.colorSpace, true)));
    pictures.push_back(*source.jpegData());

    const DevelopInput result = resultOf(source, keptRender);
    const auto thumbnails =
        keptLookThumbnails(develop(result, {false, 0.7, 0, true}), *result.looks, result.transfer.context());
    PictureCache::shared().clear();
    pictures.push_back(pixelsOf(renderDeveloped(result, {false, 0.7, 0.8, true})));
    pictures.push_back(pixelsOf(renderDeveloped(result, {true, 0.3, 0.5, true})));
    pictures.push_back(*developedJPEG(result, {false, 0.7, 0.8, true}, 2048));
    for (const PictureHandle& thumbnail : thumbnails) pictures.push_back(pixelsOf(thumbnail.bitmap()));

    PictureCache::shared().clear();
    ExportOptions flat;
    flat.format = ExportFormat::tiff;
    flat.tiffLayered = false;
    const auto flatFile = folder / (run + ".tif");
    EXPECT_TRUE(std::holds_alternative<ExportReport>(exportPicture(source, result, {false, 0.7, 0.8}, flatFile, flat)));
    pictures.push_back(pixelsOf(SourceImage::load(flatFile).storedPixels()));
    ExportOptions layered;
    layered.format = ExportFormat::psd;
    const auto layeredFile = folder / (run + ".psd");
    EXPECT_TRUE(
        std::holds_alternative<ExportReport>(exportPicture(source, result, {false, 0.7, 0.8}, layeredFile, layered)));
    pictures.push_back(fileBytes(layeredFile));

    PictureCache::shared().clear();
    const DevelopInput restored = resultOf(source, keptRender);
    pictures.push_back(pixelsOf(renderDeveloped(restored, {false, 0.7, 0.8, true})));
    return pictures;
}

TEST(TinyPictureBudget, EveryPathGivesThePixelsOfAnUnboundedRun)
{
    ScratchFolder folder;
    const auto original = folder / "original.jpg";
    const Bytes jpeg = *encodeJPEG(photograph(480, 360, 0), 92, ColourSpace::displayP3().icc);
    std::ofstream(original, std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
    const auto keptRender =
        std::make_shared<const Bytes>(*encodeJPEG(photograph(240, 180, 0.05), 90, ColourSpace::sRGB().icc));

    PictureCache& cache = PictureCache::shared();
    const size_t before = cache.byteLimit();
    cache.setByteLimit(size_t(1) << 40);
    const auto start = cache.statistics();
    const auto unbounded = everything(original, keptRender, folder, "unbounded");
    const auto middle = cache.statistics();
    // Far below one full-size picture of this original.
    cache.setByteLimit(256 << 10);
    const auto bounded = everything(original, keptRender, folder, "bounded");
    const auto end = cache.statistics();
    // The small budget let pictures go in the middle of the work, and they were made again.
    EXPECT_GT(end.evicted, middle.evicted);
    EXPECT_GT(end.made - middle.made, middle.made - start.made);
    EXPECT_LE(cache.bytesHeld(), size_t(2) << 20);
    cache.setByteLimit(before);

    ASSERT_EQ(bounded.size(), unbounded.size());
    for (size_t i = 0; i < bounded.size(); ++i) {
        EXPECT_FALSE(unbounded[i].empty()) << "picture " << i;
        EXPECT_TRUE(bounded[i] == unbounded[i]) << "picture " << i;
    }
}

} // namespace
