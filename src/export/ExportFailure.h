#pragma once

#include "export/ExportOptions.h"
#include "export/PSDWriterError.h"

#include <string>
#include <variant>

namespace oxel {

// The system's words for a file operation that failed outside the writers (moving the finished
// file into place).
struct FileSystemError {
    std::string text;
};

// Why an export returned no report: the writer's error, the layered writer's, or the file system's.
struct ExportFailure {
    std::variant<ExportError, PSDWriterError, FileSystemError> error;

    std::string description() const
    {
        if (const auto* e = std::get_if<ExportError>(&error)) return e->description();
        if (const auto* e = std::get_if<PSDWriterError>(&error)) return e->description();
        return std::get<FileSystemError>(error).text;
    }
};

// A value, or why there is none.
template <class T>
using ExportResult = std::variant<T, ExportFailure>;

} // namespace oxel
