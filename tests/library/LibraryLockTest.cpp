#include "library/LibraryLock.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

namespace oxel::testing {
namespace {

TEST(LibraryLock, OneHolderAtATimeNamesItsChannelToTheNext)
{
    TemporaryFolder folder;
    const auto root = folder / "Library";
    auto first = LibraryLock::take(root, folder / "runtime" / "instance");
    ASSERT_TRUE(first.lock) << first.error;

    auto second = LibraryLock::take(root, folder / "elsewhere" / "instance");
    EXPECT_FALSE(second.lock);
    EXPECT_TRUE(second.heldElsewhere);
    EXPECT_EQ(second.holderChannel, folder / "runtime" / "instance");

    // A holder without a channel can only be refused.
    first.lock.reset();
    auto silent = LibraryLock::take(root, std::nullopt);
    ASSERT_TRUE(silent.lock);
    auto third = LibraryLock::take(root, folder / "elsewhere" / "instance");
    EXPECT_TRUE(third.heldElsewhere);
    EXPECT_FALSE(third.holderChannel);
}

} // namespace
} // namespace oxel::testing
