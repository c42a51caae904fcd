#pragma once

#include "imaging/Bitmap.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace oxel::layeredtest {

// A fresh folder per test, also used as TMPDIR so that staging folders can be counted.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() / ("oxel-layered-test-" + std::to_string(random()));
        std::filesystem::create_directories(path_ / "tmp");
        previousTmp_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        previousCache_ = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
        setenv("TMPDIR", (path_ / "tmp").c_str(), 1);
        setenv("XDG_CACHE_HOME", (path_ / "tmp").c_str(), 1);
    }
    ~ScratchFolder()
    {
        restore("TMPDIR", previousTmp_);
        restore("XDG_CACHE_HOME", previousCache_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Everything in the folder but the staging area: what a write left behind.
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            if (entry.path().filename() != "tmp") names.push_back(entry.path().filename().string());
        return names;
    }
    // The staging folders of writes, in the cache folder's staging area.
    size_t stagingFolders() const
    {
        size_t count = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_ / "tmp"))
            count += entry.path().filename().string().starts_with("psdwriter-");
        return count;
    }

private:
    static void restore(const char* name, const std::string& value)
    {
        if (value.empty())
            unsetenv(name);
        else
            setenv(name, value.c_str(), 1);
    }

    std::filesystem::path path_;
    std::string previousTmp_;
    std::string previousCache_;
};

// A picture whose 16-bit samples are sample(x, y, channel).
inline Image pictureOf(int64_t width, int64_t height, const std::function<uint16_t(int64_t, int64_t, int)>& sample)
{
    auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBA16);
    for (int64_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(bitmap->mutableRow(y));
        for (int64_t x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) row[x * 4 + c] = sample(x, y, c);
            row[x * 4 + 3] = 65535;
        }
    }
    return Image::fromBitmap(*bitmap);
}

inline std::vector<uint8_t> fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline uint64_t bigEndian(const std::vector<uint8_t>& bytes, size_t at, int count)
{
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes.at(at + size_t(i));
    return value;
}

// Runs a shell command; its standard output, and the exit status through `status`.
inline std::string run(const std::string& command, int* status = nullptr)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    std::array<char, 4096> buffer;
    while (size_t got = fread(buffer.data(), 1, buffer.size(), pipe)) output.append(buffer.data(), got);
    const int result = pclose(pipe);
    if (status) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

inline std::string dataFile(const std::string& name)
{
    return std::string(OXEL_TEST_DATA_DIR) + "/" + name;
}

// An ImageMagick command with limits that admit the widest test pictures.
inline std::string magick(const std::string& command)
{
    return "MAGICK_CONFIGURE_PATH='" + dataFile("imagemagick") + "' " + command;
}

// What psd-tools reads of a document: its report (JSON text), with the layers', masks' and
// composite's samples left as raw files in `samplesFolder`.
inline std::string inspectDocument(const std::filesystem::path& file, const std::filesystem::path& samplesFolder)
{
    int status = 0;
    const auto output = run("/usr/bin/python3 " + dataFile("inspect_layers.py") + " '" + file.string() + "' '" +
                                samplesFolder.string() + "'",
                            &status);
    EXPECT_EQ(status, 0) << output;
    return output;
}

// The whole numbers in a text, in order.
inline std::vector<uint64_t> numbersIn(const std::string& text)
{
    std::vector<uint64_t> numbers;
    std::istringstream in(text);
    for (uint64_t n; in >> n;) numbers.push_back(n);
    return numbers;
}

} // namespace oxel::layeredtest
