#include "develop/SourceCache.h"

#include "support/PictureFiles.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

TEST(StampedFile, ChangedContentIsRefused)
{
    test::TempFolder folder;
    const auto path = folder / "f.bin";
    test::writeFile(path, {1, 2, 3});
    const auto stamp = FileState::of(path);
    ASSERT_TRUE(stamp);
    const auto bytes = readStampedFile(path, *stamp);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes->begin(), bytes->end()), (std::vector<uint8_t>{1, 2, 3}));
    test::writeFile(path, {1, 2, 3, 4});
    EXPECT_FALSE(readStampedFile(path, *stamp));
    EXPECT_FALSE(FileState::of(folder / "none"));
    EXPECT_FALSE(FileState::of(folder.path()));
}

} // namespace
} // namespace oxel
