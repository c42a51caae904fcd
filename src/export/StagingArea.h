#pragma once

#include <filesystem>

namespace oxel {

// Where layered writes stage their channels: the cache folder's "staging".
std::filesystem::path defaultStagingRoot();

// A fresh folder for one write's staged files, only its owner's, inside a folder of this process's
// own under `root` ("<pid>-<start time>"), removed with everything in it when this goes away. A
// process killed mid-write cannot remove its folder: the first staging of every process removes
// the folders of processes that are gone. Throws `PSDWriterError::io` when no folder can be made.
class StagingFolder {
public:
    explicit StagingFolder(const std::filesystem::path& root);
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Makes a process ready to write into `folder`: a file-size limit becomes a write error rather
// than the end of the process, and our own hidden temporaries (".oxel-...") that a killed export
// left there more than a day ago are removed.
void prepareToWriteInto(const std::filesystem::path& folder);

} // namespace oxel
