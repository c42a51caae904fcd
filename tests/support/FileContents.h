#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace oxel::testing {

// The whole file as bytes; empty when it cannot be read.
inline std::string contentsOf(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace oxel::testing
