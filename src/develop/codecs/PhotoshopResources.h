#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace oxel {

// One "8BIM" image resource, as PSD files and JPEG APP13 segments hold them.
struct PhotoshopResource {
    uint16_t id = 0;
    std::span<const uint8_t> data;
};

// The resources of an image-resource block; reading stops at the first damaged entry and keeps
// what came before it.
std::vector<PhotoshopResource> photoshopResources(std::span<const uint8_t> block);

std::optional<std::span<const uint8_t>> findResource(const std::vector<PhotoshopResource>& resources, uint16_t id);

namespace photoshopResourceID {
inline constexpr uint16_t resolution = 0x03ED;
inline constexpr uint16_t iptc = 0x0404;
inline constexpr uint16_t iccProfile = 0x040F;
inline constexpr uint16_t exif = 0x0422;
inline constexpr uint16_t xmp = 0x0424;
} // namespace photoshopResourceID

// The horizontal resolution of a resolution resource, in pixels an inch.
std::optional<double> photoshopResolution(std::span<const uint8_t> resource);

} // namespace oxel
