#include "backend/HttpSession.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/SpawnedProgram.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <regex>

namespace oxel {
namespace {

// The oxel-backend program with the given arguments.
struct Program : testing::SpawnedProgram {
    explicit Program(std::vector<std::string> arguments) : SpawnedProgram(OXEL_BACKEND_EXECUTABLE, std::move(arguments))
    {}
};

TEST(LocalBackendProgram, ServesOnTheAnnouncedPortAndStopsCleanly)
{
    Program program({"--port", "0", "--instant"});
    ASSERT_GT(program.pid, 0);
    std::smatch found;
    std::string line = program.firstLine();
    ASSERT_TRUE(std::regex_search(line, found, std::regex(R"(http://127\.0\.0\.1:\d+)"))) << line;
    HttpRequest request;
    request.url = found.str() + "/config/app";
    auto answer = HttpSession::shared().send(request);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_TRUE(nlohmann::json::parse(answer->body).is_object());
    int status = program.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(LocalBackendProgram, ServesTheGivenConfigurationAndAnnouncement)
{
    testing::TemporaryFolder folder;
    std::ofstream(folder / "config.json") << R"({"proMinimumAppVersion": "9.0"})";
    std::ofstream(folder / "message.json") << R"({"id": "m1", "title": "hello", "platforms": ["macos"]})";
    Program program({"--port", "0", "--config", (folder / "config.json").string(), "--announcement",
                     (folder / "message.json").string()});
    std::smatch found;
    std::string line = program.firstLine();
    ASSERT_TRUE(std::regex_search(line, found, std::regex(R"(http://127\.0\.0\.1:\d+)"))) << line;
    for (auto [path, expected] :
         {std::pair{"/config/app", R"({"proMinimumAppVersion": "9.0"})"},
          std::pair{"/config/message", R"({"message": {"id": "m1", "title": "hello", "platforms": ["macos"]}})"}}) {
        HttpRequest request;
        request.url = found.str() + path;
        auto answer = HttpSession::shared().send(request);
        ASSERT_TRUE(answer);
        EXPECT_EQ(nlohmann::json::parse(answer->body), nlohmann::json::parse(expected)) << path;
    }
}

TEST(LocalBackendProgram, RefusesAPortAnotherServerServes)
{
    Program first({"--port", "0"});
    std::smatch found;
    std::string line = first.firstLine();
    ASSERT_TRUE(std::regex_search(line, found, std::regex(R"(127\.0\.0\.1:(\d+))"))) << line;
    Program second({"--port", found[1].str()});
    int status = 0;
    bool ended = false;
    for (int tries = 0; tries < 100 && !ended; ++tries) {
        ended = waitpid(second.pid, &status, WNOHANG) == second.pid;
        if (!ended) usleep(50'000);
    }
    if (ended) second.pid = -1;
    EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) != 0) << "a second server shares the served port";
}

TEST(LocalBackendProgram, RefusesArgumentsItDoesNotKnow)
{
    testing::TemporaryFolder folder;
    std::ofstream(folder / "list.json") << "[1, 2]";
    for (std::vector<std::string> arguments :
         {std::vector<std::string>{"--port", "70000"}, std::vector<std::string>{"--port"},
          std::vector<std::string>{"--fast"}, std::vector<std::string>{"--config", (folder / "list.json").string()},
          std::vector<std::string>{"--announcement", (folder / "missing.json").string()}}) {
        Program program(arguments);
        ASSERT_GT(program.pid, 0);
        const int status = program.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    }
}

TEST(LocalBackendProgram, TakesItsFaultSwitchesFromTheCommandLine)
{
    Program program({"--port", "0", "--status", "503:1", "--faults-on", "/config/app", "--starting-roll", "3"});
    std::smatch found;
    std::string line = program.firstLine();
    ASSERT_TRUE(std::regex_search(line, found, std::regex(R"(http://127\.0\.0\.1:\d+)"))) << line;
    auto get = [&](const std::string& path) {
        HttpRequest request;
        request.url = found.str() + path;
        return HttpSession::shared().send(request);
    };
    auto first = get("/config/app");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 503) << "the first request on the prefix";
    auto second = get("/config/app");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->status, 200) << "only once";
    auto elsewhere = get("/config/suggestions");
    ASSERT_TRUE(elsewhere);
    EXPECT_EQ(elsewhere->status, 200) << "other paths untouched";

    HttpRequest signIn;
    signIn.method = "POST";
    signIn.url = found.str() + "/auth/apple";
    signIn.setHeader("Content-Type", "application/json");
    signIn.body = R"({"identityToken": "program-test"})";
    auto account = HttpSession::shared().send(signIn);
    ASSERT_TRUE(account);
    const auto userId = nlohmann::json::parse(account->body).at("userId").get<int64_t>();
    auto balance = get("/credits/balance?userId=" + std::to_string(userId));
    ASSERT_TRUE(balance);
    EXPECT_EQ(nlohmann::json::parse(balance->body).at("balance"), 3);
}

TEST(LocalBackendProgram, RefusesFaultSwitchesWithValuesTheyDoNotTake)
{
    for (std::vector<std::string> arguments :
         {std::vector<std::string>{"--refuse", "tired"}, std::vector<std::string>{"--end-jobs", "succeeded"},
          std::vector<std::string>{"--status", "99"}, std::vector<std::string>{"--status", "503:x"},
          std::vector<std::string>{"--body", "empty"}, std::vector<std::string>{"--delay", "-5"},
          std::vector<std::string>{"--starting-roll", "many"}, std::vector<std::string>{"--fail-jobs"}}) {
        Program program(arguments);
        ASSERT_GT(program.pid, 0);
        const int status = program.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << arguments[0];
    }
}

} // namespace
} // namespace oxel
