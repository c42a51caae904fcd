#pragma once

#include <cstddef>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace oxel {

struct AtomicFileOptions {
    // The temporary's name: `prefix`, 32 random hexadecimal digits and `suffix`. Without a
    // prefix it starts with the destination's own name and ".tmp-".
    std::string prefix;
    std::string suffix;
    // What the destination's permissions are once committed. Until then the temporary is its
    // owner's alone.
    mode_t permissions = 0644;
    // Asked just before the temporary replaces the destination: a reason refuses the replace, and
    // `commit()` fails with it, the destination untouched.
    std::function<std::optional<std::string>()> beforeReplacing;
};

// A new file written beside its destination under a temporary name and moved over it by
// `commit()`, so a reader sees the old content or the new, never half of it. The temporary is made
// afresh (never an existing file or a link planted under its name) and is only ever written
// through its one descriptor, never reopened by name; `commit()` refuses to move anything but that
// very file into place. When the file goes away uncommitted, after a failure or an exception, the
// temporary goes with it and the destination stays as it was.
//
// Write through `write()` or the descriptor itself.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path destination, AtomicFileOptions options = {});
    // The same inside the open folder `folder`, which is named by descriptor and so never reached
    // through a link put in place of a folder above it; only the destination's last component is
    // used there, the rest of it names the file in messages.
    AtomicFile(int folder, std::filesystem::path destination, AtomicFileOptions options = {});
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Whether the temporary was made; `failure()` says why not.
    bool created() const { return created_; }
    int descriptor() const { return fd_; }
    // The temporary's path.
    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& destination() const { return destination_; }
    // Why the last step failed, naming the file and the system's reason.
    const std::string& failure() const { return failure_; }

    // Each step returns false with `failure()` set, and does nothing after an earlier failure.
    bool write(const void* data, size_t count);
    bool write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }
    // Flushes the temporary to the disk, gives it its permissions, renames it over the
    // destination and flushes the folder, so the new content survives a power cut.
    bool commit();

private:
    bool fail(const std::string& what, const std::filesystem::path& file, int error, const char* reason = nullptr);
    bool usable() const { return created_ && failure_.empty() && !committed_; }
    void create(const AtomicFileOptions& options);
    // `file` as the calls relative to `folder_` take it.
    std::string named(const std::filesystem::path& file) const;
    void syncFolder() const;

    std::filesystem::path destination_;
    std::filesystem::path path_;
    mode_t permissions_;
    std::function<std::optional<std::string>()> beforeReplacing_;
    int folder_ = AT_FDCWD; // owned unless AT_FDCWD
    int fd_ = -1;
    bool created_ = false;
    bool committed_ = false;
    std::string failure_;
};

// `bytes` bytes from the system's random source as upper-case hexadecimal digits; nothing when the
// source fails.
std::optional<std::string> randomDigits(size_t bytes);

// `permissions` less what the process's file-creation mask takes away, as for a file that open()
// creates.
mode_t maskedByUmask(mode_t permissions);

// Writes `bytes` through an `AtomicFile`, creating the parent folder when missing. Returns the
// reason on failure (the destination is then untouched).
std::optional<std::string> writeFileAtomically(const std::filesystem::path& destination, std::string_view bytes,
                                               mode_t permissions = 0644);

} // namespace oxel
