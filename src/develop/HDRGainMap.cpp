#include "develop/HDRGainMap.h"

#include "develop/codecs/JPEGStructure.h"
#include "develop/codecs/PictureCodec.h"
#include "imaging/Filters.h"
#include "imaging/Kernel.h"
#include "imaging/RenderContext.h"

#include <cmath>
#include <cstdlib>

namespace oxel {

namespace {

constexpr float weightLow = 0.55f;
constexpr float weightHigh = 0.85f;
constexpr double softening = 4.0;

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Text that a lenient number reader would take whole, non-finite values included.
bool readsAsAnyNumber(const std::string& text)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    std::strtod(begin, &end);
    if (end == begin) return false;
    while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
    return *end == '\0';
}

std::string noMapReason(std::span<const uint8_t> file)
{
    const auto type = fileTypeOf(file);
    return "no-map:" + (type ? std::string(typeIdentifier(*type)) : std::string("unreadable"));
}

Image movedToOrigin(const Image& image)
{
    const Rect e = image.extent();
    if (e.isInfinite() || (e.x == 0 && e.y == 0)) return image;
    return image.translated(-e.x, -e.y);
}

} // namespace

std::optional<HDRGainMap::Params> HDRGainMap::Params::of(const Metadata& mapMetadata)
{
    std::optional<float> min, max, gamma;
    for (const std::string& key : mapMetadata.keys()) {
        if (!key.starts_with("Xmp.")) continue;
        const auto value = mapMetadata.number(key);
        if (!value) continue;
        if (endsWith(key, "GainMapMin"))
            min = float(*value);
        else if (endsWith(key, "GainMapMax"))
            max = float(*value);
        else if (endsWith(key, "Gamma"))
            gamma = float(*value);
    }
    if (!min || !max || !(*min < *max)) return std::nullopt;
    // A curve exponent of zero or below would turn every value into infinity or NaN.
    if (gamma && !(*gamma > 0)) gamma.reset();
    return Params{*min, *max, gamma.value_or(1.0f)};
}

Metadata HDRGainMap::writableMetadata(const Metadata& mapMetadata)
{
    Metadata writable = mapMetadata;
    writable.removeIf([&](std::string_view key) {
        if (!key.starts_with("Xmp.")) return false;
        const auto number = mapMetadata.number(key);
        if (number) return endsWith(key, "Gamma") && !(*number > 0);
        const auto text = mapMetadata.text(key);
        return text && readsAsAnyNumber(*text);
    });
    return writable;
}

RGB HDRGainMap::gainWeight(RGB r, float lo, float hi)
{
    const float l = 0.2126f * r.r + 0.7152f * r.g + 0.0722f * r.b;
    const float t = std::clamp((l - lo) / (hi - lo), 0.0f, 1.0f);
    const float w = t * t * (3 - 2 * t);
    return {w, w, w};
}

RGB HDRGainMap::gainModulate(RGB g, RGB w, float mn, float mx, float gam, float iso)
{
    const float p = std::clamp(g.r, 0.0f, 1.0f);
    float q = p * w.r;
    if (iso > 0.5f) {
        // Stored values are the normalised gain raised to gamma; decode, scale in stops, encode.
        const float stops = mn + std::pow(p, 1 / gam) * (mx - mn);
        const float scaled = stops * w.r;
        const float norm = std::clamp((scaled - mn) / (mx - mn), 0.0f, 1.0f);
        q = std::pow(norm, gam);
    }
    return {q, q, q};
}

std::optional<double> HDRGainMap::meanStops(const Image& map, const RenderContext& context, float min, float max,
                                            float gamma)
{
    const Rect extent = map.extent();
    if (extent.isEmpty() || extent.isInfinite()) return std::nullopt;
    const float v = float(areaAverage(map, extent, context).r);
    if (!std::isfinite(v)) return std::nullopt;
    const float stops = min + (max - min) * std::pow(std::clamp(v, 0.0f, 1.0f), 1 / gamma);
    if (!std::isfinite(stops)) return std::nullopt;
    return double(std::round(stops * 100.0f) / 100.0f);
}

std::optional<HDRGainMap::Result> HDRGainMap::transfer(std::span<const uint8_t> originalFile, const Image& picture,
                                                       const RenderContext& context, std::string& reason)
{
    const auto stored = readGainMap(originalFile);
    if (!stored || stored->pixels.width() <= 0) {
        reason = noMapReason(originalFile);
        return std::nullopt;
    }
    const auto params = Params::of(stored->metadata);
    const Rect pictureExtent = picture.extent();
    if (!(pictureExtent.width > 0) || pictureExtent.isInfinite()) {
        reason = "no-render";
        return std::nullopt;
    }
    // The map is turned as the picture was, whatever their aspect ratios.
    Image turned = Image::fromBitmap(stored->pixels);
    for (int orientation : stored->pictureTurns) turned = turned.oriented(orientation);
    const std::string encoding = params ? "iso" : "apple";
    reason = "applied:" + encoding;
    const Params used = params.value_or(Params{0, 1, 1});
    const float iso = params ? 1.0f : 0.0f;

    const Image map = movedToOrigin(turned);
    const Rect mapExtent = map.extent();
    const double scale = mapExtent.height / pictureExtent.height;
    const double aspect = (mapExtent.width / pictureExtent.width) / scale;
    const Image scaled = lanczosScaleTransform(picture.clampedToExtent(), scale, aspect).cropped(mapExtent);
    const Image weight = applyKernel(
        mapExtent, [](RGB r) { return gainWeight(r, weightLow, weightHigh); }, scaled);
    const Image softened = gaussianBlur(weight.clampedToExtent(), softening).cropped(mapExtent);
    const Image modulated = applyKernel(
        mapExtent, [used, iso](RGB g, RGB w) { return gainModulate(g, w, used.min, used.max, used.gamma, iso); }, map,
        softened);

    Result result;
    result.image = materialised(modulated, context);
    result.params = used;
    result.encoding = encoding;
    result.sourceMean = meanStops(turned, context, used.min, used.max, used.gamma);
    result.appliedMean = meanStops(result.image, context, used.min, used.max, used.gamma);
    result.metadata = stored->metadata;
    result.kind = stored->kind;
    result.container = stored->container;
    return result;
}

std::optional<HDRGainMap::AuxiliaryData>
HDRGainMap::auxiliaryData(const Result& result, std::span<const uint8_t> originalFile, const RenderContext& context)
{
    const Rect extent = result.image.extent();
    if (extent.isInfinite()) return std::nullopt;
    const int64_t w = int64_t(extent.width), h = int64_t(extent.height);
    if (w < 1 || h < 1 || !DecodeLimits::allow(w, h)) return std::nullopt;
    std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4);
    context.renderRGBA8(result.image, PixelRect{0, 0, w, h}, rgba.data(), size_t(w) * 4);
    AuxiliaryData data;
    data.width = w;
    data.height = h;
    data.bytesPerRow = w;
    data.data.resize(size_t(w) * size_t(h));
    for (size_t i = 0; i < data.data.size(); ++i) data.data[i] = rgba[i * 4];
    if (const auto metadata = gainMapMetadata(originalFile)) data.metadata = writableMetadata(*metadata);
    data.kind = result.kind;
    data.container = result.container;
    return data;
}

} // namespace oxel
