#include "develop/codecs/PhotoshopResources.h"

#include "develop/codecs/ByteIO.h"

#include <algorithm>

namespace oxel {

std::vector<PhotoshopResource> photoshopResources(std::span<const uint8_t> block)
{
    std::vector<PhotoshopResource> resources;
    ByteReader in(block);
    while (in.remaining() >= 12) {
        const auto signature = in.bytes(4);
        const auto id = in.u16be();
        const auto nameLength = in.u8();
        if (!signature || !id || !nameLength) break;
        if (!std::equal(signature->begin(), signature->end(), "8BIM")) break;
        // The name is a Pascal string padded to an even length, its length byte included.
        if (!in.skip(*nameLength + ((*nameLength + 1) % 2 ? 1u : 0u))) break;
        const auto size = in.u32be();
        if (!size) break;
        const auto data = in.bytes(*size);
        if (!data) break;
        resources.push_back({*id, *data});
        if (*size % 2 && !in.skip(1)) break;
    }
    return resources;
}

std::optional<std::span<const uint8_t>> findResource(const std::vector<PhotoshopResource>& resources, uint16_t id)
{
    for (const PhotoshopResource& resource : resources)
        if (resource.id == id) return resource.data;
    return std::nullopt;
}

std::optional<double> photoshopResolution(std::span<const uint8_t> resource)
{
    // hRes as 16.16 fixed point, always in pixels an inch; the unit that follows only says how
    // the document shows it.
    ByteReader in(resource);
    const auto fixed = in.u32be();
    const auto unit = in.u16be();
    if (!fixed || !unit || *fixed == 0) return std::nullopt;
    return *fixed / 65536.0;
}

} // namespace oxel
