#include "backend/HttpSession.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/TemporaryFolder.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace oxel {
namespace {

// Runs the oxel-backend program with the given arguments, its standard output on a pipe.
struct Program {
    pid_t pid = -1;
    FILE* output = nullptr;

    explicit Program(std::vector<std::string> arguments)
    {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        arguments.insert(arguments.begin(), OXEL_BACKEND_EXECUTABLE);
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        output = fdopen(pipeEnds[0], "r");
    }

    std::string firstLine()
    {
        char line[512] = {};
        if (!output || !fgets(line, sizeof line, output)) return {};
        return line;
    }

    int stop(int signal)
    {
        int status = -1;
        if (pid > 0) {
            kill(pid, signal);
            waitpid(pid, &status, 0);
            pid = -1;
        }
        return status;
    }

    ~Program()
    {
        stop(SIGKILL);
        if (output) fclose(output);
    }
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
        int status = -1;
        waitpid(program.pid, &status, 0);
        program.pid = -1;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    }
}

} // namespace
} // namespace oxel
