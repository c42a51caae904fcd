#include "develop/Grain.h"

#include "develop/EmbeddedGrain.h"
#include "imaging/Filters.h"
#include "imaging/RenderContext.h"
#include "imaging/ResampleNode.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <list>
#include <mutex>
#include <unordered_map>

namespace oxel {

namespace {

// Not the FNV-1a offset basis: the stored variant choices of existing results depend on this one.
constexpr uint64_t hashStart = 0x14650FB0739D0383ull;
constexpr uint64_t hashPrime = 0x100000001B3ull;

std::optional<Image> loadGreyPNG(std::span<const uint8_t> bytes)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) return std::nullopt;
    png.format = PNG_FORMAT_GRAY;
    auto bitmap = Bitmap::allocate(png.width, png.height, PixelFormat::Gray8);
    if (!bitmap) {
        png_image_free(&png);
        return std::nullopt;
    }
    if (!png_image_finish_read(&png, nullptr, bitmap->mutableData(), png_int_32(bitmap->rowBytes()), nullptr))
        return std::nullopt;
    return Image::fromBitmap(*bitmap);
}

struct TextureCache {
    std::mutex lock;
    std::unordered_map<std::string, Image> textures;
};

TextureCache& textureCache()
{
    static TextureCache cache;
    return cache;
}

// Grain pictures of preview size (up to 4 megapixels) kept rendered, the most recently used first.
constexpr double keptGrainArea = 4194304;
constexpr size_t keptGrainCount = 4;

struct PlacedGrainCache {
    // The texture (its recipe's identity, held alive by the texture cache) and the extent covered.
    using Key = std::pair<const void*, Rect>;
    std::mutex lock;
    std::list<std::pair<Key, Image>> entries;
};

PlacedGrainCache& placedGrainCache()
{
    static PlacedGrainCache cache;
    return cache;
}

} // namespace

uint64_t Grain::stableHash(std::string_view text)
{
    uint64_t h = hashStart;
    for (unsigned char byte : text) h = (h ^ byte) * hashPrime;
    return h;
}

std::string Grain::textureName(int level, std::string_view seed)
{
    const int digit = std::clamp(level, 1, 3);
    const char variant = char('a' + stableHash(seed) % 3);
    return "grain_" + std::to_string(digit) + variant;
}

const EmbeddedFile* Grain::textureFile(const std::string& name, std::span<const EmbeddedFile> resources)
{
    for (const std::string& path : {name + ".png", "grain/" + name + ".png"})
        if (const EmbeddedFile* file = findEmbeddedFile(resources, path)) return file;
    return nullptr;
}

std::optional<Image> Grain::texture(int level, std::string_view seed)
{
    const std::string name = textureName(level, seed);
    auto& cache = textureCache();
    // The load happens under the lock, so two callers wanting the same texture read it once.
    std::lock_guard guard(cache.lock);
    if (auto found = cache.textures.find(name); found != cache.textures.end()) return found->second;
    const EmbeddedFile* file = textureFile(name, embeddedGrainTextures());
    if (!file) return std::nullopt;
    auto loaded = loadGreyPNG(file->bytes);
    if (loaded) cache.textures.emplace(name, *loaded);
    return loaded;
}

Grain::Placement Grain::placement(const Rect& textureExtent, const Rect& extent)
{
    const double scale = std::max(extent.width, extent.height) / textureExtent.width;
    const Rect placedExtent{textureExtent.x * scale, textureExtent.y * scale, textureExtent.width * scale,
                            textureExtent.height * scale};
    // Whole-pixel moves: a half-pixel move would resample and soften the grain on odd sizes.
    return {scale, placedExtent, std::round((extent.x + extent.width / 2) - (placedExtent.x + placedExtent.width / 2)),
            std::round((extent.y + extent.height / 2) - (placedExtent.y + placedExtent.height / 2))};
}

Image Grain::placed(const Image& texture, const Rect& extent)
{
    const Placement at = placement(texture.extent(), extent);
    // Clamped first, so the scaled texture has no dark rim from the zeros outside it.
    const Image scaled = lanczosScaleTransform(texture.clampedToExtent(), at.scale, 1.0).cropped(at.placedExtent);
    return scaled.translated(at.dx, at.dy).cropped(extent);
}

Image Grain::placedShrunk(const Image& texture, const Rect& extent, const Rect& shrunkTo)
{
    const Placement at = placement(texture.extent(), extent);
    const double sx = shrunkTo.width / extent.width, sy = shrunkTo.height / extent.height;
    // One area resample from the texture: scaled, moved and shrunk at once.
    const auto node =
        std::make_shared<ResampleNode>(texture.clampedToExtent().node(), at.scale * sx, at.scale * sy,
                                       (at.dx - extent.x) * sx, (at.dy - extent.y) * sy, ResampleFilter::linear);
    return Image(node).cropped(shrunkTo);
}

std::optional<Image> Grain::image(int level, std::string_view seed, const Rect& extent)
{
    const auto grain = texture(level, seed);
    if (!grain) return std::nullopt;
    const Rect textureExtent = grain->extent();
    if (!(textureExtent.width > 0) || !(extent.width > 0) || extent.isInfinite()) return std::nullopt;
    if (extent.width * extent.height > keptGrainArea) return placed(*grain, extent);

    PlacedGrainCache& cache = placedGrainCache();
    const PlacedGrainCache::Key key{grain->node().get(), extent};
    {
        std::lock_guard guard(cache.lock);
        for (auto entry = cache.entries.begin(); entry != cache.entries.end(); ++entry) {
            if (entry->first == key) {
                cache.entries.splice(cache.entries.begin(), cache.entries, entry);
                return entry->second;
            }
        }
    }
    // Rendered outside the lock: two threads may both render it, and both get the same pixels.
    const Image rendered = materialised(placed(*grain, extent));
    std::lock_guard guard(cache.lock);
    cache.entries.emplace_front(key, rendered);
    if (cache.entries.size() > keptGrainCount) cache.entries.pop_back();
    return rendered;
}

Image Grain::apply(const Image& grain, const Image& picture)
{
    return overlayBlend(grain, picture).cropped(picture.extent());
}

} // namespace oxel
