#include "export/StagingArea.h"

#include "export/PSDWriterError.h"
#include "platform/AppFolders.h"
#include "platform/AtomicFile.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace oxel {

namespace {

namespace fs = std::filesystem;

// When a process started, in clock ticks after boot; empty when there is no such process. With
// the process id it tells a process apart from a later one that got the same id.
std::string startTimeOf(const std::string& pid)
{
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return {};
    // The command name in parentheses may hold spaces: fields are counted after its end.
    const size_t end = line.rfind(')');
    if (end == std::string::npos) return {};
    std::istringstream fields(line.substr(end + 1));
    std::string field;
    for (int index = 3; index <= 22 && fields >> field; ++index)
        if (index == 22) return field;
    return {};
}

std::string ownProcessName()
{
    const std::string pid = std::to_string(::getpid());
    return pid + "-" + startTimeOf(pid);
}

bool abandoned(const fs::path& folder)
{
    static const std::regex processName(R"(([0-9]+)-([0-9]+))");
    std::smatch parts;
    const std::string name = folder.filename().string();
    if (!std::regex_match(name, parts, processName)) return false;
    return startTimeOf(parts[1].str()) != parts[2].str();
}

void removeAbandonedFolders(const fs::path& root)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root, error)) {
        std::error_code ignored;
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored) && abandoned(entry.path()))
            fs::remove_all(entry.path(), ignored);
    }
}

void makePrivateFolder(const fs::path& folder)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw PSDWriterError::io("could not create " + folder.string() + ": " + std::strerror(errno));
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        throw PSDWriterError::io("could not create " + folder.string() + ": another owner's file is in the way");
    if ((info.st_mode & 077) != 0) ::chmod(folder.c_str(), 0700);
}

// This process's folder under `root`, made again when something removed it. The folders of
// processes that are gone are removed the first time a root is used.
fs::path processFolder(const fs::path& root)
{
    static std::mutex lock;
    static std::set<fs::path> swept;
    const fs::path folder = root / ownProcessName();
    std::lock_guard guard(lock);
    std::error_code error;
    fs::create_directories(root.parent_path(), error);
    makePrivateFolder(root);
    if (swept.insert(root).second) removeAbandonedFolders(root);
    makePrivateFolder(folder);
    return folder;
}

std::string randomName()
{
    const auto digits = randomDigits(12);
    if (!digits) throw PSDWriterError::io(std::string("could not name a staging folder: ") + std::strerror(errno));
    return "psdwriter-" + *digits;
}

bool isOurTemporaryName(const std::string& name)
{
    static const std::regex temporary(R"(\.oxel-([0-9A-F]{8}|[0-9A-F]{32})\..+)");
    return std::regex_match(name, temporary);
}

void removeAbandonedTemporaries(const fs::path& folder)
{
    const auto dayAgo = std::chrono::system_clock::now() - std::chrono::hours(24);
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder.empty() ? fs::path(".") : folder, error)) {
        if (!isOurTemporaryName(entry.path().filename().string())) continue;
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
        if (std::chrono::system_clock::from_time_t(info.st_mtime) < dayAgo) ::unlink(entry.path().c_str());
    }
}

} // namespace

fs::path defaultStagingRoot()
{
    return cacheDirectory() / "staging";
}

StagingFolder::StagingFolder(const fs::path& root)
{
    path_ = processFolder(root) / randomName();
    if (::mkdir(path_.c_str(), 0700) != 0)
        throw PSDWriterError::io("could not create " + path_.string() + ": " + std::strerror(errno));
}

StagingFolder::~StagingFolder()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void prepareToWriteInto(const fs::path& folder)
{
    // Past a file-size limit the system ends the process unless the signal is ignored; ignored,
    // the write that crosses the limit fails and the export says so.
    static const bool ignored = [] { return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR; }();
    (void)ignored;
    removeAbandonedTemporaries(folder);
}

} // namespace oxel
