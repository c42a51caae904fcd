#include "app/QuitGuard.h"

#include <gtest/gtest.h>

#include <deque>

namespace oxel {
namespace {

// Answers each alert with the next scripted button, noting what it was asked.
struct ScriptedAlerts final : QuitAlerts {
    std::deque<size_t> answers;
    std::vector<QuitAlert> asked;
    std::function<void()> whileUp;

    size_t run(const QuitAlert& alert) override
    {
        asked.push_back(alert);
        if (whileUp) whileUp();
        size_t answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

struct QuitGuardTest : ::testing::Test {
    Unfinished left;
    int& developing = left.developing;
    int exporting = 0;
    bool stored = false;
    int saves = 0;
    ScriptedAlerts alerts;
    QuitGuard guard{{[this] { return left; }, [this] { return stored; }, [this] { return exporting; },
                     [this] { ++saves; }, &alerts}};
};

constexpr size_t keepGoing = 0;
constexpr size_t quit = 1;

TEST_F(QuitGuardTest, NothingRunningQuitsAfterSavingWithoutAsking)
{
    EXPECT_TRUE(guard.requestQuit());
    EXPECT_TRUE(alerts.asked.empty());
    EXPECT_EQ(saves, 1);
}

TEST_F(QuitGuardTest, DevelopingPicturesAreAskedAbout)
{
    developing = 3;
    alerts.answers = {keepGoing, quit};
    EXPECT_FALSE(guard.requestQuit());
    EXPECT_EQ(saves, 0);
    ASSERT_EQ(alerts.asked.size(), 1u);
    EXPECT_EQ(alerts.asked[0],
              (QuitAlert{"3 still developing",
                         "quitting now abandons them. the shots are not spent until the results are collected.",
                         {"keep developing", "quit"},
                         keepGoing}));

    stored = true;
    EXPECT_TRUE(guard.requestQuit());
    EXPECT_EQ(alerts.asked[1].informative,
              "they carry on without oxel pro and are collected when you reopen this batch, within a day.");
    EXPECT_EQ(saves, 1);
}

TEST_F(QuitGuardTest, ExportsAreAskedAboutAfterDevelopingOnes)
{
    developing = 1;
    exporting = 2;
    alerts.answers = {quit, keepGoing};
    EXPECT_FALSE(guard.requestQuit());
    ASSERT_EQ(alerts.asked.size(), 2u);
    EXPECT_EQ(alerts.asked[0].message, "1 still developing");
    EXPECT_EQ(alerts.asked[1].informative, "quitting now leaves the files unwritten.");
    EXPECT_EQ(saves, 0);

    developing = 0;
    exporting = 1;
    alerts.answers = {quit};
    EXPECT_TRUE(guard.requestQuit());
    EXPECT_EQ(
        alerts.asked.back(),
        (QuitAlert{
            "1 still exporting", "quitting now leaves the file unwritten.", {"keep exporting", "quit"}, keepGoing}));
    EXPECT_EQ(saves, 1);
}

// Pictures waiting their turn were never sent, and results the library could not take are lost by
// quitting: each is said apart, and "keep open" is the safe answer for the results.
TEST_F(QuitGuardTest, WaitingPicturesAndUnsavedResultsAreAskedAboutApart)
{
    stored = true;
    left = {.waiting = 4, .developing = 0, .unsaved = 4};
    alerts.answers = {quit, keepGoing};
    EXPECT_FALSE(guard.requestQuit());
    ASSERT_EQ(alerts.asked.size(), 2u);
    EXPECT_EQ(alerts.asked[0].message, "4 still waiting");
    EXPECT_EQ(alerts.asked[0].informative, "they were not sent yet, so no shot is spent. quitting now stops them; "
                                           "process them again when you reopen this batch.");
    EXPECT_EQ(alerts.asked[1], (QuitAlert{"4 results not in the library yet",
                                          "the library can't take them now. kept open, oxel pro saves them as soon "
                                          "as it can; quitting now lets them go.",
                                          {"keep open", "quit"},
                                          keepGoing}));

    left = {.waiting = 1, .developing = 2, .unsaved = 0};
    alerts.answers = {keepGoing};
    EXPECT_FALSE(guard.requestQuit());
    EXPECT_EQ(alerts.asked[2].message, "2 still developing");
    EXPECT_TRUE(alerts.asked[2].informative.ends_with(
        " 1 more waiting its turn is not sent: process it again when you reopen this batch."));

    // Slider moves the library refused are asked about too, "keep open" again the safe answer.
    left = {.changesUnsaved = true};
    alerts.answers = {keepGoing};
    EXPECT_FALSE(guard.requestQuit());
    EXPECT_EQ(alerts.asked[3].message, "changes not in the library yet");
    EXPECT_EQ(alerts.asked[3].buttons[alerts.asked[3].safeAnswer], "keep open");
    EXPECT_EQ(saves, 0);
}

TEST_F(QuitGuardTest, ASecondRequestWhileAnAlertIsUpIsDropped)
{
    developing = 2;
    alerts.answers = {quit};
    bool second = true;
    alerts.whileUp = [&] { second = guard.requestQuit(); };
    EXPECT_TRUE(guard.requestQuit());
    EXPECT_FALSE(second);
    EXPECT_EQ(alerts.asked.size(), 1u);
    EXPECT_EQ(saves, 1);
    // The quit closes the window, whose own request must not ask again.
    EXPECT_TRUE(guard.requestQuit());
    EXPECT_EQ(alerts.asked.size(), 1u);

    guard.quitWithoutAsking();
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(alerts.asked.size(), 1u);
    // A termination signal's quit closes the windows, whose requests must not ask and hang it.
    EXPECT_TRUE(guard.requestQuit());
    EXPECT_EQ(alerts.asked.size(), 1u);
}

// Photographs handed over while the question is up join the batch: quitting asks about them too.
TEST_F(QuitGuardTest, PicturesArrivingWhileAQuestionIsUpAreAskedAboutBeforeQuitting)
{
    left.unprocessed = 1;
    alerts.whileUp = [&] { left.unprocessed = 3; };
    alerts.answers = {quit, keepGoing};
    EXPECT_FALSE(guard.requestQuit());
    ASSERT_EQ(alerts.asked.size(), 2u);
    EXPECT_EQ(alerts.asked[1], QuitGuard::unprocessedAlert(3));
}

// The session may cancel a log-out answered with "quit": the answer holds for the session's end alone.
TEST_F(QuitGuardTest, AQuitAnsweredForALogOutHoldsOnlyForTheSessionsEnd)
{
    developing = 1;
    alerts.answers = {quit, keepGoing, quit};
    EXPECT_TRUE(guard.requestSessionEnd());
    EXPECT_FALSE(guard.requestQuit()) << "after a cancelled log-out, ctrl+q asks again";
    EXPECT_TRUE(guard.requestSessionEnd());
    guard.sessionEnds();
    EXPECT_TRUE(guard.requestQuit());
    EXPECT_EQ(alerts.asked.size(), 3u);
}

// A termination signal while a question is up (a log-out): the windows its quit closes are let go,
// whatever the question is answered.
TEST_F(QuitGuardTest, ATerminationSignalWhileAnAlertIsUpEndsTheProgram)
{
    developing = 1;
    alerts.answers = {keepGoing};
    bool windowsClose = false;
    alerts.whileUp = [&] {
        guard.quitWithoutAsking();
        windowsClose = guard.requestQuit();
    };
    EXPECT_TRUE(guard.requestQuit());
    EXPECT_TRUE(windowsClose);
    EXPECT_EQ(saves, 1);
}

} // namespace
} // namespace oxel
