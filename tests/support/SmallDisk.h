#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/mount.h>

namespace oxel::testing {

// A memory file system of `bytes` mounted over the folder `at` while it lives: a disk that really
// fills, and whose free room the system reports. Mounting takes the right to mount; without it
// nothing is mounted and the test is to be skipped.
class SmallDisk {
public:
    SmallDisk(const std::filesystem::path& at, uintmax_t bytes) : at_(at)
    {
        std::filesystem::create_directories(at);
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
        mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }

private:
    std::filesystem::path at_;
    bool mounted_ = false;
};

} // namespace oxel::testing
