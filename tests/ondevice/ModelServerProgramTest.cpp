#include "backend/HttpSession.h"
#include "support/SpawnedProgram.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <regex>

namespace oxel {
namespace {

// The oxel-model program with the given arguments.
struct Program : testing::SpawnedProgram {
    explicit Program(std::vector<std::string> arguments) : SpawnedProgram(OXEL_MODEL_EXECUTABLE, std::move(arguments))
    {}

    // The base URL the program announced on its first line.
    std::string baseURL()
    {
        std::smatch found;
        const std::string line = firstLine();
        return std::regex_search(line, found, std::regex(R"(http://127\.0\.0\.1:\d+/v1)")) ? found.str() : "";
    }
};

BackendResult<HttpResponse> models(const std::string& baseURL)
{
    HttpRequest request;
    request.url = baseURL + "/models";
    return HttpSession::shared().send(request);
}

TEST(ModelServerProgram, ListsTheStandInOnTheAnnouncedPortAndStopsCleanly)
{
    Program program({"--port", "0", "--delay", "10", "--decline"});
    const std::string url = program.baseURL();
    ASSERT_FALSE(url.empty());
    const auto answer = models(url);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(nlohmann::json::parse(answer->body)["data"][0]["id"], "oxel-stand-in");
    const int status = program.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ModelServerProgram, AnswersUnavailableWhileLoading)
{
    Program program({"--port", "0", "--loading", "600"});
    const auto answer = models(program.baseURL());
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 503);
}

TEST(ModelServerProgram, RefusesArgumentsItDoesNotKnow)
{
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--port", "70000"}, {"--delay"}, {"--status", "42"}, {"--loading", "soon"}, {"--fast"}}) {
        Program program(arguments);
        ASSERT_GT(program.pid, 0);
        const int status = program.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << arguments[0];
    }
}

} // namespace
} // namespace oxel
