#pragma once

#include "develop/SourceImage.h"
#include "library/FileStamp.h"
#include "library/OriginalRef.h"
#include "platform/Volumes.h"

#include <filesystem>
#include <optional>
#include <string>
#include <variant>

namespace oxel {

// Where originals are looked for: the mounted file systems and the photographer's home folder,
// beneath which an original is never on a removable volume.
struct OriginalPlaces {
    Volumes volumes;
    std::filesystem::path home;
};

// The answer of checking a stored original before its result is rebuilt on it: found (the picture,
// where it lives now and the reference brought up to date), out of reach for now, or a file that is
// not, or can no longer be read as, the recorded picture. The texts are shown to the photographer.
struct OriginalCheck {
    struct Found {
        SourceImage source;
        std::filesystem::path url;
        OriginalRef ref;
    };
    struct Offline {
        std::string text;
        // The true original send back kept aside, when the file that went missing is the one a
        // result was sent back over: the item develops from it until the file is found again.
        std::optional<SourceImage> kept = std::nullopt;
    };
    struct Changed {
        std::string text;
    };
    std::variant<Found, Offline, Changed> answer;

    static constexpr const char* moved = "offline · the original has moved · locate it…";
    static constexpr const char* unreadable = "offline · could not read the original";
    static constexpr const char* changedSince = "changed in another app since · locate the original…";
    static std::string notConnected(const std::string& volume);
    static std::string sentBackUnreadable(const std::optional<std::string>& sender);

    const Found* found() const { return std::get_if<Found>(&answer); }

    // Resolves the reference and proves the file is the recorded picture. A file the application
    // sent a result back over is read through `cacheFile`, the true original kept aside (or, when
    // none was kept, the "original" layer of the sent-back file read out into it).
    // Reads and writes only the original, the cache file and its folder; never throws.
    static OriginalCheck of(const OriginalRef& ref, const std::optional<FileStamp>& sentBack,
                            const std::filesystem::path& cacheFile, const OriginalPlaces& places);
    // The answer for `url` when it is the file a result was sent back over (it agrees with
    // `sentBack`), wherever it lies now; nothing when it is not that file.
    static std::optional<OriginalCheck> ofSentBack(const std::filesystem::path& url, const OriginalRef& updated,
                                                   const std::optional<FileStamp>& sentBack,
                                                   const std::filesystem::path& cacheFile);
};

// Whether `candidate` is the photograph `ref` recorded: the same pixel size and capture date, and,
// when the library's small copy can be read, a scene fingerprint that correlates with it. The
// loaded candidate when it is; nothing otherwise.
std::optional<SourceImage> sameImage(const std::filesystem::path& candidate, const OriginalRef& ref,
                                     const std::filesystem::path& libraryOriginal);

} // namespace oxel
