#include "develop/codecs/FileBytes.h"

#include "support/PictureFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace oxel {
namespace {

TEST(FileBytes, MapsTheWholeFileAndSharesItBetweenCopies)
{
    test::TempFolder folder;
    const std::vector<uint8_t> content{1, 2, 3, 4, 5};
    test::writeFile(folder / "f.bin", content);
    std::optional<FileBytes> copy;
    {
        const auto mapped = FileBytes::map(folder / "f.bin");
        ASSERT_TRUE(mapped);
        copy = *mapped;
    }
    EXPECT_EQ(std::vector<uint8_t>(copy->begin(), copy->end()), content);
    test::writeFile(folder / "empty", {});
    EXPECT_EQ(FileBytes::map(folder / "empty")->size(), 0u);
    EXPECT_FALSE(FileBytes::map(folder / "none"));
    EXPECT_FALSE(FileBytes::map(folder.path()));
    EXPECT_EQ(FileBytes(content).span().size(), 5u);
}

TEST(FileBytes, AFileThatShrinksWhileMappedReadsAsZerosPastItsNewEnd)
{
    test::TempFolder folder;
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    test::writeFile(folder / "f.bin", std::vector<uint8_t>(3 * page, 0xAB));
    const auto mapped = FileBytes::map(folder / "f.bin");
    ASSERT_TRUE(mapped);
    ASSERT_EQ(::truncate((folder / "f.bin").c_str(), off_t(page)), 0);
    const volatile uint8_t* bytes = mapped->data();
    EXPECT_EQ(bytes[10], 0xAB);
    EXPECT_EQ(bytes[2 * page + 10], 0);
    EXPECT_EQ(bytes[3 * page - 1], 0);
}

TEST(FileBytesDeathTest, OtherBusErrorsStillStopTheProcess)
{
    test::TempFolder folder;
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    test::writeFile(folder / "f.bin", std::vector<uint8_t>(2 * page, 1));
    test::writeFile(folder / "g.bin", std::vector<uint8_t>(2 * page, 1));
    ASSERT_TRUE(FileBytes::map(folder / "g.bin")); // the guard is in place
    EXPECT_DEATH(
        {
            const int fd = ::open((folder / "f.bin").c_str(), O_RDONLY);
            auto* raw = static_cast<const volatile uint8_t*>(mmap(nullptr, 2 * page, PROT_READ, MAP_PRIVATE, fd, 0));
            if (::truncate((folder / "f.bin").c_str(), 0) != 0) _exit(0);
            (void)raw[page + 1];
            _exit(0);
        },
        "");
}

} // namespace
} // namespace oxel
