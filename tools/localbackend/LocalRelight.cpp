#include "localbackend/LocalRelight.h"

#include "develop/codecs/JPEGStructure.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace oxel::local {
namespace {

constexpr int64_t largestDecodedPixels = int64_t(1) << 28;

struct TurboHandle {
    tjhandle handle;
    explicit TurboHandle(tjhandle h) : handle(h) {}
    ~TurboHandle()
    {
        if (handle) tjDestroy(handle);
    }
};

// The smallest libjpeg-turbo scaling that still leaves the long edge at least `longEdge` pixels.
tjscalingfactor decodeScale(int width, int height, int longEdge)
{
    int count = 0;
    tjscalingfactor* factors = tjGetScalingFactors(&count);
    tjscalingfactor best{1, 1};
    int longest = std::max(width, height);
    for (int i = 0; i < count; ++i) {
        const auto& f = factors[i];
        if (f.num > f.denom) continue;
        int scaled = TJSCALED(longest, f);
        if (scaled >= longEdge && double(f.num) / f.denom < double(best.num) / best.denom) best = f;
    }
    return best;
}

// Area-averaged reduction so that the long edge is at most `longEdge`.
RgbPicture reduced(RgbPicture picture, int longEdge)
{
    int longest = std::max(picture.width, picture.height);
    if (longest <= longEdge) return picture;
    double factor = double(longEdge) / longest;
    RgbPicture out;
    out.width = std::max(1, int(std::lround(picture.width * factor)));
    out.height = std::max(1, int(std::lround(picture.height * factor)));
    out.pixels.resize(size_t(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y) {
        int y0 = int(int64_t(y) * picture.height / out.height);
        int y1 = std::max(y0 + 1, int(int64_t(y + 1) * picture.height / out.height));
        for (int x = 0; x < out.width; ++x) {
            int x0 = int(int64_t(x) * picture.width / out.width);
            int x1 = std::max(x0 + 1, int(int64_t(x + 1) * picture.width / out.width));
            std::array<uint32_t, 3> sum{};
            for (int sy = y0; sy < y1; ++sy) {
                const uint8_t* row = &picture.pixels[(size_t(sy) * picture.width + x0) * 3];
                for (int sx = x0; sx < x1; ++sx, row += 3)
                    for (int c = 0; c < 3; ++c) sum[c] += row[c];
            }
            uint32_t count = uint32_t((y1 - y0) * (x1 - x0));
            uint8_t* target = &out.pixels[(size_t(y) * out.width + x) * 3];
            for (int c = 0; c < 3; ++c) target[c] = uint8_t((sum[c] + count / 2) / count);
        }
    }
    return out;
}

} // namespace

std::optional<RgbPicture> decodeReduced(std::string_view jpeg, int longEdge)
{
    TurboHandle decoder(tjInitDecompress());
    if (!decoder.handle || jpeg.empty()) return std::nullopt;
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
    // An upload of thousands of scans would hold a serving thread for as long as it decodes.
    if (!jpegDecodingIsBounded(std::span(bytes, jpeg.size()))) return std::nullopt;
    if (tjDecompressHeader3(decoder.handle, bytes, jpeg.size(), &width, &height, &subsampling, &colourspace) != 0)
        return std::nullopt;
    if (width <= 0 || height <= 0) return std::nullopt;
    tjscalingfactor scale = decodeScale(width, height, longEdge);
    RgbPicture picture;
    picture.width = TJSCALED(width, scale);
    picture.height = TJSCALED(height, scale);
    if (int64_t(picture.width) * picture.height > largestDecodedPixels) return std::nullopt;
    picture.pixels.resize(size_t(picture.width) * picture.height * 3);
    if (tjDecompress2(decoder.handle, bytes, jpeg.size(), picture.pixels.data(), picture.width, 0, picture.height,
                      TJPF_RGB, TJFLAG_FASTDCT) != 0 &&
        tjGetErrorCode(decoder.handle) == TJERR_FATAL)
        return std::nullopt;
    return reduced(std::move(picture), longEdge);
}

std::string encodeJPEG(const RgbPicture& picture, int quality)
{
    TurboHandle encoder(tjInitCompress());
    if (!encoder.handle) return {};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (tjCompress2(encoder.handle, picture.pixels.data(), picture.width, 0, picture.height, TJPF_RGB, &buffer, &size,
                    TJSAMP_420, quality, TJFLAG_FASTDCT) != 0) {
        tjFree(buffer);
        return {};
    }
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    tjFree(buffer);
    return bytes;
}

RgbPicture relit(const RgbPicture& picture, double strength)
{
    // One tone curve per light level keeps the per-pixel work to a table look-up.
    constexpr int levels = 64;
    std::vector<std::array<uint8_t, 256>> curves(levels);
    for (int level = 0; level < levels; ++level) {
        double light = 0.82 + 0.36 * level / (levels - 1);
        double gain = 1.0 + strength * (light - 1.0);
        for (int v = 0; v < 256; ++v) {
            double x = v / 255.0 * gain;
            double shouldered = x <= 0.8 ? x : 0.8 + 0.2 * std::tanh((x - 0.8) / 0.2);
            curves[level][v] = uint8_t(std::clamp(std::lround(shouldered * 255.0), 0L, 255L));
        }
    }
    RgbPicture out = picture;
    // The key light falls off as a Gaussian around its centre, which separates into a row factor
    // and a column factor.
    double keyX = 0.3 * picture.width, keyY = 0.25 * picture.height;
    double spread = 0.7 * std::max(picture.width, picture.height);
    auto falloff = [spread](double distance) { return std::exp(-2.0 * (distance / spread) * (distance / spread)); };
    std::vector<double> columnFall(picture.width);
    for (int x = 0; x < picture.width; ++x) columnFall[x] = falloff(x - keyX);
    for (int y = 0; y < picture.height; ++y) {
        double rowFall = falloff(y - keyY) * (levels - 1);
        uint8_t* row = &out.pixels[size_t(y) * picture.width * 3];
        for (int x = 0; x < picture.width; ++x) {
            const auto& curve = curves[std::clamp(int(rowFall * columnFall[x] + 0.5), 0, levels - 1)];
            for (int c = 0; c < 3; ++c) row[x * 3 + c] = curve[row[x * 3 + c]];
        }
    }
    return out;
}

} // namespace oxel::local
