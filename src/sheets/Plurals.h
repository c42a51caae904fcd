#pragma once

#include <cstdint>
#include <string>

namespace oxel {

// A count and its noun, plural unless the count is exactly 1: "1 image", "0 images", "2 batches".
// The plural is the noun with "s" unless given.
std::string counted(int64_t count, const std::string& noun, const std::string& plural = {});

} // namespace oxel
