#pragma once

#include "develop/codecs/FileType.h"
#include "export/ExportOptions.h"
#include "library/FileStamp.h"

#include <filesystem>
#include <optional>
#include <string>

namespace oxel {

// Whether a handed-over file may be written over, and in which format.
struct HandedOverFile {
    // The format its own first bytes name; none when it may not be written over.
    std::optional<ExportFormat> format;
    // Why not, in the photographer's words.
    std::string refusal;
    // The file as it was checked: the write may replace it only while it is still this.
    std::optional<FileState> state;

    static constexpr std::string_view cannotWriteBack = "this kind of file can't be written back";
    static constexpr std::string_view changedSince = "the file changed since it was handed over";
    static constexpr std::string_view noCopy = "the original could not be kept";
    static constexpr std::string_view gone = "the handed-over file is gone · export it instead";
    static constexpr std::string_view located = "the file was located, not handed over · export it instead";

    // Checks the file at `file` off the main thread: unchanged since `expected` (the stamp it was
    // handed over with, or that of the last send back), and of a type send back writes faithfully.
    // With `keepCopyAt`, the file is first copied there byte for byte, atomically, so the true
    // original outlives the write; a copy that fails refuses the write.
    static HandedOverFile check(const std::filesystem::path& file, const std::optional<FileStamp>& expected,
                                const std::optional<std::filesystem::path>& keepCopyAt);
    // Refuses, as `check` does, once the file is no longer the one checked (its size, time or
    // inode changed): the host saved it meanwhile.
    static std::optional<std::string> changedSinceCheck(const std::filesystem::path& file, const FileState& checked);
};

// The format a file of this type is written back in; none for what can't be written back.
std::optional<ExportFormat> sendBackFormat(const std::optional<FileType>& type);

} // namespace oxel
