#include "app/AncestorSender.h"

#include <gtest/gtest.h>

#include <map>
#include <unistd.h>

namespace oxel {
namespace {

// A process table written out by hand: the chain runs from pid 100 upwards, one pid at a time.
class FakeTable final : public ProcessTable {
public:
    explicit FakeTable(std::vector<std::string> chain)
    {
        pid_t pid = 100;
        for (const std::string& name : chain) {
            entries_[pid] = {name, pid + 1};
            ++pid;
        }
        entries_[pid] = {"systemd", 1};
    }
    std::optional<Entry> read(pid_t process) const override
    {
        auto found = entries_.find(process);
        if (found == entries_.end()) return std::nullopt;
        return found->second;
    }

private:
    std::map<pid_t, Entry> entries_;
};

std::optional<std::string> senderOf(std::vector<std::string> chain)
{
    return ancestorSender(FakeTable(std::move(chain)), 100);
}

TEST(AncestorSender, FindsTheFirstRecognisedAncestor)
{
    EXPECT_EQ(senderOf({"oxel-pro", "shotwell"}), "shotwell");
    EXPECT_EQ(senderOf({"oxel-pro", "sh", "bash", "darktable"}), "darktable");
    EXPECT_EQ(senderOf({"oxel-pro", "a", "b", "c", "d", "shotwell"}), "shotwell");
    // Shells and launchers between do not use up the five levels.
    EXPECT_EQ(senderOf({"oxel-pro", "sh", "a", "bash", "b", "sh", "c", "d", "dash", "darktable"}), "darktable");
}

TEST(AncestorSender, GivesNoneBeyondFiveLevelsOrForUnknownNames)
{
    EXPECT_EQ(senderOf({"oxel-pro", "a", "b", "c", "d", "e", "shotwell"}), std::nullopt);
    EXPECT_EQ(senderOf({"oxel-pro", "bash", "gnome-terminal-"}), std::nullopt);
    EXPECT_EQ(senderOf({"oxel-pro"}), std::nullopt);
    EXPECT_EQ(ancestorSender(FakeTable({}), 42), std::nullopt);
    // A long chain of shells ends too.
    EXPECT_EQ(senderOf(std::vector<std::string>(200, "sh")), std::nullopt);
}

TEST(AncestorSender, ReadsThisProcessFromProc)
{
    auto self = ProcessTable::system().read(getpid());
    ASSERT_TRUE(self);
    EXPECT_EQ(self->parent, getppid());
    EXPECT_FALSE(self->name.empty());
    EXPECT_EQ(ancestorSender(ProcessTable::system(), getpid()), std::nullopt);
}

} // namespace
} // namespace oxel
