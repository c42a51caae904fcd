#pragma once

#include "export/ExportOptions.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace oxel {

// What a finished export hands back.
struct ExportReport {
    std::filesystem::path url;
    ExportFormat format = ExportFormat::psd;
    bool layered = false;
    // The original's HDR gain map was carried into the file, and why it was or wasn't: "n/a" for
    // layered files, else the flat writer's answer.
    bool hdr = false;
    std::string hdrWhy = "n/a";
    int64_t width = 0;
    int64_t height = 0;
    // A short remark when the result differs from what was asked.
    std::optional<std::string> note;

    bool operator==(const ExportReport&) const = default;
};

} // namespace oxel
