#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// The parts one after another with `separator` between each two; empty for no parts.
std::string joined(const std::vector<std::string>& parts, std::string_view separator);

} // namespace oxel
