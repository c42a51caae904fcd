#include "app/HandoffReception.h"

#include "async/ManualLoop.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

using Strings = std::vector<std::string>;

// The model's side, written down.
struct RecordedTarget final : StartTarget {
    bool empty = true;
    std::optional<std::optional<std::string>> mark;
    std::vector<std::pair<Strings, std::optional<std::string>>> handoffs;
    std::vector<Strings> opened;
    Strings links;

    bool showsNothing() const override { return empty; }
    void markLaunchedByHandoff(std::optional<std::string> sender) override { mark = sender; }
    void receiveHandoff(const Strings& files, const std::optional<std::string>& sender) override
    {
        handoffs.emplace_back(files, sender);
        empty = false;
    }
    void addOpened(const Strings& files) override
    {
        opened.push_back(files);
        empty = false;
    }
    void openLink(const std::string& url) override { links.push_back(url); }
};

LaunchArguments handoff(std::optional<std::string> sender, Strings files = {"/p/a.jpg", "/p/b.tif"})
{
    LaunchArguments launch;
    launch.handoff = true;
    launch.sender = std::move(sender);
    launch.handoffFiles = std::move(files);
    return launch;
}

struct HandoffReceptionTest : ::testing::Test {
    ManualLoop loop;
    RecordedTarget target;
    HandoffReception reception{target, loop, loop.steady()};
};

TEST_F(HandoffReceptionTest, AFirstHandoffSoonAfterLaunchMarksTheRun)
{
    loop.advance(std::chrono::seconds(14));
    reception.receive(handoff("Shotwell"));
    EXPECT_EQ(target.mark, std::optional<std::string>("shotwell"));
    ASSERT_EQ(target.handoffs.size(), 1u);
    EXPECT_EQ(target.handoffs[0].first, (Strings{"/p/a.jpg", "/p/b.tif"}));
    EXPECT_EQ(target.handoffs[0].second, "Shotwell");
}

TEST_F(HandoffReceptionTest, ANamelessSenderMarksTheRunWithoutAName)
{
    reception.receive(handoff(std::nullopt));
    ASSERT_TRUE(target.mark);
    EXPECT_EQ(*target.mark, std::nullopt);
}

TEST_F(HandoffReceptionTest, LateHandoffsOrOnesIntoAFullWindowLeaveTheMark)
{
    loop.advance(std::chrono::seconds(20));
    reception.receive(handoff("darktable"));
    EXPECT_FALSE(target.mark);
    EXPECT_EQ(target.handoffs.size(), 1u);

    RecordedTarget full;
    full.empty = false;
    HandoffReception early(full, loop, loop.steady());
    early.receive(handoff("darktable"));
    EXPECT_FALSE(full.mark);
    ASSERT_EQ(full.handoffs.size(), 1u);
    EXPECT_EQ(full.handoffs[0].second, "darktable");
}

TEST_F(HandoffReceptionTest, OpenedFilesAndLinksAreNeverHandoffs)
{
    LaunchArguments launch;
    launch.openedFiles = {"/p/raw.cr2"};
    launch.urls = {"oxel://callback?code=1"};
    reception.receive(launch);
    EXPECT_EQ(target.opened, std::vector<Strings>{{"/p/raw.cr2"}});
    EXPECT_EQ(target.links, Strings{"oxel://callback?code=1"});
    EXPECT_TRUE(target.handoffs.empty());
    EXPECT_FALSE(target.mark);

    // A hand-off flag without files hands nothing over.
    reception.receive(handoff("shotwell", {}));
    EXPECT_TRUE(target.handoffs.empty());
}

} // namespace
} // namespace oxel
