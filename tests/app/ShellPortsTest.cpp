// The shell's small ports: the quit guard's alerts through the model's alert port, the folder a
// reveal falls back to, and the X11 startup token's time and removal message.
#include "app/FileReveal.h"
#include "app/PanelQuitAlerts.h"
#include "app/QtMainExecutor.h"
#include "app/X11Startup.h"
#include "async/Completion.h"
#include "model/ModelServices.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <QTimer>

namespace oxel {
namespace {

// An alert port that answers a moment later, as a person at a window-modal alert does.
struct LateAnswers final : ModelPanels {
    std::vector<Alert> asked;
    int answer = 0;

    Task<std::optional<std::vector<std::filesystem::path>>> choose(OpenPanel) override { co_return std::nullopt; }
    Task<int> ask(Alert alert) override
    {
        asked.push_back(alert);
        Completion<int> later;
        QTimer::singleShot(20, [later, value = answer]() mutable { later.complete(value); });
        co_return co_await later.value();
    }
};

// Qt's event loop as the main executor for the length of a test.
struct QtLoop {
    QtMainExecutor executor;
    MainExecutor* previous = installMainExecutor(&executor);
    ~QtLoop() { installMainExecutor(previous); }
};

TEST(PanelQuitAlertsTest, TheGuardsQuestionsGoThroughTheAlertPortAndWaitForTheAnswer)
{
    QtLoop loop;
    LateAnswers panels;
    PanelQuitAlerts alerts(panels);
    QuitGuard guard(
        {[] { return Unfinished{.developing = 3}; }, [] { return false; }, [] { return 2; }, [] {}, &alerts});

    panels.answer = 0; // "keep developing"
    EXPECT_FALSE(guard.requestQuit());
    ASSERT_EQ(panels.asked.size(), 1u);
    EXPECT_EQ(panels.asked[0].message, "3 still developing");
    EXPECT_EQ(panels.asked[0].information,
              "quitting now abandons them. the shots are not spent until the results are collected.");
    EXPECT_EQ(panels.asked[0].buttons, (std::vector<std::string>{"keep developing", "quit"}));

    panels.answer = 7; // no such button: the default, which keeps going
    EXPECT_FALSE(guard.requestQuit());

    panels.answer = 1; // "quit", then "quit" again on the exports
    EXPECT_TRUE(guard.requestQuit());
    ASSERT_EQ(panels.asked.size(), 4u);
    EXPECT_EQ(panels.asked[3].message, "2 still exporting");
    EXPECT_EQ(panels.asked[3].information, "quitting now leaves the files unwritten.");
}

TEST(FileRevealTest, AFileThatCannotBeShownOpensTheNearestFolderThatExists)
{
    testing::TemporaryFolder folder;
    std::filesystem::create_directories(folder / "a/b");
    EXPECT_EQ(revealFolder(folder / "a/b/photo.jpg"), folder / "a/b");
    EXPECT_EQ(revealFolder(folder / "a/gone/deeper/photo.jpg"), folder / "a");
    EXPECT_EQ(revealFolder("photo.jpg"), std::filesystem::path("/"));

    // Without a session bus the folder opens with the desktop's handler.
    std::vector<std::string> opened;
    showInFolder(folder / "a/b/photo.jpg", [&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "file://" + (folder / "a/b").string());
}

TEST(X11StartupTest, TheTokensTimeAndItsRemovalMessage)
{
    EXPECT_EQ(startupTokenTime("shotwell-1234-host-oxel-pro-0_TIME5678901"), 5678901u);
    EXPECT_EQ(startupTokenTime("no-time-here"), std::nullopt);
    EXPECT_EQ(startupTokenTime("broken_TIME12x"), std::nullopt);
    EXPECT_EQ(startupTokenTime("empty_TIME"), std::nullopt);
    EXPECT_EQ(startupTokenTime("huge_TIME99999999999"), std::nullopt);
    EXPECT_EQ(startupRemoveMessage("id_TIME1"), "remove: ID=\"id_TIME1\"");
    EXPECT_EQ(startupRemoveMessage(R"(a "b" \c)"), R"(remove: ID="a \"b\" \\c")");
}

} // namespace
} // namespace oxel
