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

} // namespace
} // namespace oxel
