#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace oxel {

// A result's bytes held until the library has them: the render file as received, its extension,
// and the analysis as stored.
struct KeptResult {
    std::vector<uint8_t> render;
    std::string renderExtension;
    std::vector<uint8_t> analysis;

    bool operator==(const KeptResult&) const = default;
};

} // namespace oxel
