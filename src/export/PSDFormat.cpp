#include "export/PSDFormat.h"

#include <algorithm>
#include <cmath>

namespace oxel {

void putFileHeader(ByteWriter& out, bool large, int64_t width, int64_t height, uint16_t depth)
{
    out.append("8BPS");
    out.putU16(large ? 2 : 1);
    out.putZeros(6);
    out.putU16(3);
    out.putU32(uint32_t(height));
    out.putU32(uint32_t(width));
    out.putU16(depth);
    out.putU16(3);
    out.putU32(0);
}

std::array<uint8_t, 16> resolutionResource(double dpi)
{
    const double fixed = std::round(dpi * 65536.0);
    const uint32_t value = !(fixed > 0) ? 0 : fixed >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(fixed);
    ByteWriter out;
    for (int direction = 0; direction < 2; ++direction) {
        out.putU32(value);
        out.putU16(1);
        out.putU16(1);
    }
    std::array<uint8_t, 16> bytes{};
    std::copy(out.bytes.begin(), out.bytes.end(), bytes.begin());
    return bytes;
}

void putImageResources(ByteWriter& out, double dpi, const std::optional<std::vector<uint8_t>>& iccProfile,
                       std::span<const uint8_t> iptc, std::span<const uint8_t> exif)
{
    ByteWriter resources;
    resources.putResource(1005, resolutionResource(dpi));
    if (iccProfile) resources.putResource(1039, *iccProfile);
    if (!iptc.empty()) resources.putResource(1028, iptc);
    if (!exif.empty()) resources.putResource(1058, exif);
    out.putU32(uint32_t(resources.size()));
    out.append(resources.bytes);
}

} // namespace oxel
