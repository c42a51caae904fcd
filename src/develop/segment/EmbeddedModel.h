#pragma once

#include <cstdint>
#include <span>

namespace oxel {

// The bytes of the person segmentation model built into the program (checked against its
// published checksum when the build was configured); empty when the build had no model.
std::span<const uint8_t> embeddedSegmentationModel();

} // namespace oxel
