#pragma once

#include "export/LayeredTestSupport.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>

namespace oxel::layeredtest {

// Every tag exiftool finds, as "Group:Tag" -> value.
inline nlohmann::json exiftool(const std::filesystem::path& file)
{
    const auto output = run("exiftool -j -G1 -n '" + file.string() + "' 2>/dev/null");
    const auto parsed = nlohmann::json::parse(output, nullptr, false);
    return parsed.is_array() && !parsed.empty() ? parsed[0] : nlohmann::json::object();
}

inline bool hasTagEnding(const nlohmann::json& tags, const std::string& name)
{
    for (const auto& [key, value] : tags.items())
        if (key.size() >= name.size() && key.compare(key.size() - name.size(), name.size(), name) == 0) return true;
    return false;
}

inline std::string identify(const std::filesystem::path& file)
{
    return run(magick("identify -format '%m %w %h %z' '" + file.string() + "' 2>/dev/null"));
}

} // namespace oxel::layeredtest
