#pragma once

#include "develop/DevelopSettings.h"

#include <filesystem>
#include <optional>
#include <string>

namespace oxel {

// What a developed item's kept thumbnail shows: the settings its picture was made at, written beside
// it ("thumb.json" beside "thumb.jpg") with the thumbnail file's stamp once that file is on disk. A
// thumbnail is taken for a picture at those settings only while its file is the one the note was
// written for: a thumbnail written over, swapped for another or left behind by a write that never
// finished its note names no settings at all.
struct KeptThumbnail {
    // The note's file beside a thumbnail.
    static std::filesystem::path notePath(const std::filesystem::path& thumbnail);
    // The note's bytes for the thumbnail just written at `thumbnail`, made at `madeAt`; nothing when
    // the thumbnail is not there.
    static std::optional<std::string> note(const std::filesystem::path& thumbnail, const DevelopSettings& madeAt);
    // The settings the thumbnail at `thumbnail` was made at, while it is the file the note was written
    // for; nothing when either is missing, damaged or changed since.
    static std::optional<DevelopSettings> madeAt(const std::filesystem::path& thumbnail);
};

} // namespace oxel
