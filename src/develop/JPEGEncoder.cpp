#include "JPEGEncoder.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace oxel {
namespace {

std::optional<int> turboFormat(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Gray8: return TJPF_GRAY;
    case PixelFormat::RGB8: return TJPF_RGB;
    case PixelFormat::RGBX8: return TJPF_RGBX;
    case PixelFormat::RGBA8: return TJPF_RGBA;
    default: return std::nullopt;
    }
}

// The profile as APP2 "ICC_PROFILE" segments, each holding at most 65519 bytes of it.
std::vector<uint8_t> iccSegments(const std::vector<uint8_t>& icc)
{
    constexpr size_t chunk = 65519;
    const size_t count = (icc.size() + chunk - 1) / chunk;
    std::vector<uint8_t> out;
    if (icc.empty() || count > 255) return out;
    static const char marker[] = "ICC_PROFILE";
    for (size_t i = 0; i < count; ++i) {
        const size_t size = std::min(chunk, icc.size() - i * chunk);
        const size_t length = 2 + sizeof marker + 2 + size;
        out.insert(out.end(), {0xFF, 0xE2, uint8_t(length >> 8), uint8_t(length & 0xFF)});
        out.insert(out.end(), marker, marker + sizeof marker);
        out.insert(out.end(), {uint8_t(i + 1), uint8_t(count)});
        out.insert(out.end(), icc.begin() + ptrdiff_t(i * chunk), icc.begin() + ptrdiff_t(i * chunk + size));
    }
    return out;
}

// The ICC segments go after the JFIF header that follows the start-of-image marker.
std::vector<uint8_t> withProfile(const uint8_t* jpeg, size_t size, const std::vector<uint8_t>& icc)
{
    std::vector<uint8_t> out(jpeg, jpeg + size);
    const std::vector<uint8_t> segments = iccSegments(icc);
    if (segments.empty() || size < 4) return out;
    size_t at = 2;
    if (jpeg[2] == 0xFF && jpeg[3] == 0xE0 && size >= 6) at = std::min(size, 4 + (size_t(jpeg[4]) << 8 | jpeg[5]));
    out.insert(out.begin() + ptrdiff_t(at), segments.begin(), segments.end());
    return out;
}

} // namespace

std::optional<std::vector<uint8_t>> encodeJPEG(const Bitmap& bitmap, double quality)
{
    const auto format = turboFormat(bitmap.format());
    if (!format || bitmap.isNull() || bitmap.width() <= 0 || bitmap.height() <= 0) return std::nullopt;
    if (bitmap.width() > 65535 || bitmap.height() > 65535) return std::nullopt;
    const std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitCompress(), tjDestroy);
    if (!handle) return std::nullopt;
    const int q = std::clamp(int(std::lround(std::clamp(quality, 0.0, 1.0) * 100)), 1, 100);
    const int subsampling = *format == TJPF_GRAY ? TJSAMP_GRAY : quality >= 0.9 ? TJSAMP_444 : TJSAMP_420;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int failed = tjCompress2(handle.get(), bitmap.data(), int(bitmap.width()), int(bitmap.rowBytes()),
                                   int(bitmap.height()), *format, &jpeg, &size, subsampling, q, TJFLAG_ACCURATEDCT);
    const std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(jpeg, tjFree);
    if (failed != 0 || !jpeg) return std::nullopt;
    return withProfile(jpeg, size, bitmap.colourSpace().icc);
}

} // namespace oxel
