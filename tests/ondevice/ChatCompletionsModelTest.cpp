#include "ondevice/ChatCompletionsModel.h"

#include "backend/HttpSession.h"
#include "ondevice/ModelGrade.h"
#include "ondevice/OnDeviceTestSupport.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

using namespace std::chrono_literals;
using Reason = ModelAvailability::Reason;
using Json = nlohmann::ordered_json;
using testing::awaited;
using testing::clientOf;
using testing::probed;

using DraftOrFailure = std::variant<ModelGradeDraft, ModelFailure>;

ModelRequest textRequest(std::string prompt)
{
    ModelRequest request;
    request.instructions = "name the batch";
    request.prompt = std::move(prompt);
    return request;
}

ChatCompletionsModel::Environment environmentFor(ManualLoop& loop, std::string url)
{
    ModelServerConfiguration configuration;
    configuration.url = std::move(url);
    return {configuration, &loop, &WorkPool::shared()};
}

class ChatCompletionsModelTest : public ::testing::Test {
protected:
    void TearDown() override { HttpSession::setMaxAnswerBytes(HttpSession::defaultMaxAnswerBytes); }

    // Starts the stand-in with the given switches and a client of it that has looked at it once.
    ChatCompletionsModel& standIn(local::ModelServer::Options options = {}, bool readsPictures = true,
                                  std::chrono::milliseconds idleLimit = 300s)
    {
        options.clock = [this] { return loop.steady(); };
        server = std::make_unique<local::ModelServer>(options);
        EXPECT_TRUE(server->start());
        model = std::make_unique<ChatCompletionsModel>(
            ChatCompletionsModel::Environment{{server->baseURL(), std::nullopt, readsPictures},
                                              &loop,
                                              &WorkPool::shared(),
                                              idleLimit,
                                              std::chrono::minutes(10),
                                              testing::loadedProbeLimit});
        EXPECT_TRUE(probed(loop, *model));
        return *model;
    }

    DraftOrFailure ask(LanguageModel& client, bool retry = false)
    {
        auto result = awaited(loop, ModelGrade::ask(client, testing::gradientPicture(320, 200), retry));
        EXPECT_TRUE(result);
        return result ? *result : DraftOrFailure(ModelFailure{"stalled"});
    }

    std::string failureAsking(LanguageModel& client)
    {
        auto result = ask(client);
        EXPECT_TRUE(std::holds_alternative<ModelFailure>(result));
        return std::holds_alternative<ModelFailure>(result) ? std::get<ModelFailure>(result).description : "";
    }

    // The failure of a grade asked of a server that answers every completion with `body`.
    std::string failureOfCannedAnswer(int status, const std::string& body)
    {
        testing::CannedModelServer canned(status, body);
        auto client = clientOf(loop, canned.baseURL());
        EXPECT_TRUE(probed(loop, *client));
        return failureAsking(*client);
    }

    Json lastRequest() const { return Json::parse(server->receivedCompletions().back()); }

    ManualLoop loop;
    std::unique_ptr<local::ModelServer> server;
    std::unique_ptr<ChatCompletionsModel> model;
};

TEST_F(ChatCompletionsModelTest, AGradeRequestCarriesInstructionsSchemaAndPictureWithGreedySampling)
{
    auto& client = standIn();
    EXPECT_EQ(client.availability().reason, Reason::available);
    EXPECT_EQ(client.modelName(), "oxel-stand-in");
    const auto draft = ask(client);
    ASSERT_TRUE(std::holds_alternative<ModelGradeDraft>(draft)) << std::get<ModelFailure>(draft).description;

    const Json body = lastRequest();
    EXPECT_EQ(body["model"], "oxel-stand-in");
    EXPECT_EQ(body["stream"], false);
    EXPECT_EQ(body["temperature"], 0);
    EXPECT_FALSE(body.contains("top_p"));
    EXPECT_FALSE(body.contains("max_tokens"));
    ASSERT_EQ(body["messages"].size(), 2u);
    EXPECT_EQ(body["messages"][0]["role"], "system");
    EXPECT_EQ(body["messages"][0]["content"], ModelGrade::instructions());
    const Json& content = body["messages"][1]["content"];
    const std::string text = content[0]["text"];
    EXPECT_TRUE(text.starts_with(ModelGrade::prompt));
    EXPECT_NE(text.find(ModelGradeDraft::schema().dump()), std::string::npos);
    EXPECT_EQ(content[1]["type"], "image_url");
    EXPECT_TRUE(content[1]["image_url"]["url"].get<std::string>().starts_with("data:image/jpeg;base64,/9j/"));
    const Json& format = body["response_format"];
    EXPECT_EQ(format["type"], "json_schema");
    EXPECT_EQ(format["json_schema"]["name"], "grade_draft");
    EXPECT_EQ(format["json_schema"]["strict"], true);
    EXPECT_EQ(format["json_schema"]["schema"].dump(), ModelGradeDraft::schema().dump());
}

TEST_F(ChatCompletionsModelTest, ARetrySamplesAtRandomAndTheStandInThenTakesTheNeighbouringDensity)
{
    auto& client = standIn();
    const auto first = std::get<ModelGradeDraft>(ask(client, false));
    const auto again = std::get<ModelGradeDraft>(ask(client, false));
    EXPECT_EQ(first.density, again.density);
    const auto retried = std::get<ModelGradeDraft>(ask(client, true));
    const Json body = lastRequest();
    EXPECT_EQ(body["temperature"], 0.9);
    EXPECT_EQ(body["top_p"], 0.9);
    EXPECT_EQ(retried.temperature, first.temperature);
    EXPECT_NE(retried.density, first.density);
}

TEST_F(ChatCompletionsModelTest, WithoutAServerOrWithOneElsewhereNothingIsSetUp)
{
    auto none = ChatCompletionsModel::choose(environmentFor(loop, ""));
    EXPECT_EQ(none->availability().reason, Reason::notSetUp);
    auto remote = ChatCompletionsModel::choose(environmentFor(loop, "http://192.0.2.7:8788/v1"));
    EXPECT_EQ(remote->availability().reason, Reason::notOnThisComputer);
    EXPECT_EQ(ModelGrade::diagnostic(*remote), "model unavailable: the model server must be on this computer");
    auto failure = awaited(loop, remote->respond(textRequest("p")));
    ASSERT_TRUE(failure);
    EXPECT_TRUE(std::holds_alternative<ModelFailure>(*failure));
}

TEST(ModelServerAddress, OnlyLoopbackHostsCount)
{
    for (const char* url : {"http://127.0.0.1:8788/v1", "http://localhost:8080", "https://LocalHost/v1",
                            "http://127.4.5.6/v1", "http://[::1]:8788/v1"})
        EXPECT_TRUE(isLoopbackURL(url)) << url;
    for (const char* url : {"http://192.168.1.2:8788/v1", "http://127.0.0.1.example.com/v1",
                            "http://127.0.0.1@example.com/v1", "http://user@localhost/v1", "ftp://127.0.0.1/v1",
                            "http://1270.0.0.1/v1", "http://127.0.0/v1", "http://[::2]/v1", "127.0.0.1:8788", ""})
        EXPECT_FALSE(isLoopbackURL(url)) << url;
}

TEST_F(ChatCompletionsModelTest, AClosedPortIsAServerThatDidNotAnswer)
{
    local::ModelServer closed(testing::standInOptions(loop));
    ASSERT_TRUE(closed.start());
    closed.stop();
    auto client = clientOf(loop, closed.baseURL());
    ASSERT_TRUE(probed(loop, *client));
    EXPECT_EQ(client->availability().reason, Reason::notAnswering);
    EXPECT_EQ(ModelGrade::diagnostic(*client),
              "model unavailable: the model server at " + closed.baseURL() + " did not answer");
    EXPECT_EQ(ModelGrade::unavailableMessage(*client),
              "the local model isn't answering right now, so colour only is away for now.");
}

TEST_F(ChatCompletionsModelTest, ALoadingServerBecomesAvailableOnTheVirtualClock)
{
    local::ModelServer::Options options;
    options.loading = 60s;
    server = std::make_unique<local::ModelServer>([&] {
        options.clock = [this] { return loop.steady(); };
        return options;
    }());
    ASSERT_TRUE(server->start());
    model = clientOf(loop, server->baseURL());
    std::vector<Reason> seen;
    auto connection = model->availabilityChanged.connect([&] { seen.push_back(model->availability().reason); });
    EXPECT_EQ(ModelGrade::unavailableMessage(*model),
              "the local model is still getting ready on this computer. colour only appears beside process once it "
              "is.");
    ASSERT_TRUE(loop.runUntil([&] { return model->availability().isAvailable(); }, 60s));
    EXPECT_EQ(seen, (std::vector{Reason::loading, Reason::available}));
    EXPECT_GE(loop.elapsed(), 60s);
    EXPECT_LT(loop.elapsed(), 70s);
    EXPECT_EQ(ModelGrade::unavailableMessage(*model), std::nullopt);
    EXPECT_EQ(ModelGrade::diagnostic(*model), "available");
}

TEST_F(ChatCompletionsModelTest, RefreshingLooksAgainAtMostOnceInTenSeconds)
{
    auto& client = standIn();
    server->stop();
    client.refreshAvailability();
    loop.advance(1s);
    EXPECT_TRUE(client.availability().isAvailable());
    loop.advance(10s);
    client.refreshAvailability();
    ASSERT_TRUE(loop.runUntil([&] { return !client.availability().isAvailable(); }));
    EXPECT_EQ(client.availability().reason, Reason::notAnswering);
}

TEST_F(ChatCompletionsModelTest, AModelThatCannotReadPicturesIsNeverSentOne)
{
    auto& client = standIn({}, false);
    EXPECT_TRUE(client.availability().isAvailable());
    EXPECT_EQ(ModelGrade::unavailableMessage(client),
              "the local model can't read pictures, so colour only isn't here. colour and light works as ever.");
    EXPECT_EQ(ModelGrade::diagnostic(client), "model unavailable: the model can't read pictures");
    EXPECT_EQ(failureAsking(client), "the model can't read pictures");
    EXPECT_TRUE(server->receivedCompletions().empty());
}

TEST_F(ChatCompletionsModelTest, ServerRefusalsAndMistypedDraftsAreFailures)
{
    local::ModelServer::Options options;
    options.readsPictures = false;
    auto& client = standIn(options);
    EXPECT_EQ(failureAsking(client), "the model server answered 400: this model can't read pictures");
    options = {};
    options.status = 500;
    server->setOptions(options);
    EXPECT_EQ(failureAsking(client), "the model server answered 500: the stand-in was told to answer 500");
    options = {};
    options.malformed = true;
    server->setOptions(options);
    EXPECT_EQ(failureAsking(client), "the model's answer is not a JSON object");
    options = {};
    options.wrongTypes = true;
    server->setOptions(options);
    EXPECT_EQ(failureAsking(client), "the model's \"reading\" is not text");
    EXPECT_TRUE(client.availability().isAvailable());
}

TEST_F(ChatCompletionsModelTest, HostileAnswersAreFailuresWithADescription)
{
    EXPECT_EQ(failureOfCannedAnswer(200, "<html>busy</html>"), "the model server's answer is not a JSON object");
    EXPECT_EQ(failureOfCannedAnswer(200, R"({"object":"chat.completion"})"),
              "the model server's answer has no choices");
    EXPECT_EQ(failureOfCannedAnswer(200, R"({"choices":[{"message":{"content":null}}]})"),
              "the model server's answer has no text");
    EXPECT_EQ(failureOfCannedAnswer(200, testing::completionSaying("sun, rich, 1.0")),
              "the model's answer is not a JSON object");
    EXPECT_EQ(failureOfCannedAnswer(404, R"({"error":"no such model"})"),
              "the model server answered 404: no such model");
    EXPECT_NE(failureOfCannedAnswer(200, testing::completionSaying(std::string(1 << 20, 'x'))).find("larger"),
              std::string::npos);
}

TEST_F(ChatCompletionsModelTest, AnAnswerThatTricklesForEverEndsAtTheTotalLimit)
{
    testing::TricklingModelServer trickling;
    ChatCompletionsModel client(ChatCompletionsModel::Environment{
        {trickling.baseURL(), std::nullopt, true}, &loop, &WorkPool::shared(), 300s, 600ms});
    ASSERT_TRUE(probed(loop, client));
    const auto started = std::chrono::steady_clock::now();
    const auto reply = awaited(loop, client.respond(textRequest("p")));
    ASSERT_TRUE(reply);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_NE(std::get<ModelFailure>(*reply).description.find("-1001"), std::string::npos);
}

TEST_F(ChatCompletionsModelTest, ARedirectIsNotFollowedWithThePicture)
{
    testing::CannedModelServer elsewhere(200, testing::completionSaying("{}"));
    testing::CannedModelServer redirecting(307, "", elsewhere.baseURL() + "/chat/completions");
    auto client = clientOf(loop, redirecting.baseURL());
    ASSERT_TRUE(probed(loop, *client));
    EXPECT_EQ(failureAsking(*client), "the model server answered 307");
    EXPECT_EQ(redirecting.completions(), 1);
    EXPECT_EQ(elsewhere.completions(), 0);
}

TEST_F(ChatCompletionsModelTest, ADraftInsideACodeFenceIsAccepted)
{
    const std::string draft = R"({"reading":"r","temperature":"cool","density":"quiet","strength":0.8,"brief":"b"})";
    testing::CannedModelServer canned(200, testing::completionSaying("```json\n" + draft + "\n```"));
    auto client = clientOf(loop, canned.baseURL());
    ASSERT_TRUE(probed(loop, *client));
    const auto result = ask(*client);
    ASSERT_TRUE(std::holds_alternative<ModelGradeDraft>(result));
    EXPECT_EQ(std::get<ModelGradeDraft>(result).density, "quiet");
}

TEST_F(ChatCompletionsModelTest, NoAnswerWithinTheIdleLimitFailsAndLooksAtTheServerAgain)
{
    local::ModelServer::Options options;
    options.delay = 5s;
    auto& client = standIn(options, true, 300ms);
    std::vector<Reason> seen;
    auto connection = client.availabilityChanged.connect([&] { seen.push_back(client.availability().reason); });
    EXPECT_NE(failureAsking(client).find("-1001"), std::string::npos);
    EXPECT_EQ(client.availability().reason, Reason::notAnswering);
    ASSERT_TRUE(loop.runUntil([&] { return client.availability().isAvailable(); }));
    EXPECT_EQ(seen, (std::vector{Reason::notAnswering, Reason::available}));
}

TEST_F(ChatCompletionsModelTest, AServerGoneMidRunFailsTheRequestAndMakesTheModelUnavailable)
{
    auto& client = standIn();
    server->stop();
    EXPECT_NE(failureAsking(client).find("-1004"), std::string::npos);
    EXPECT_EQ(client.availability().reason, Reason::notAnswering);
}

TEST_F(ChatCompletionsModelTest, ATextRequestGetsTheStandInsChattyName)
{
    auto& client = standIn();
    const auto request = textRequest("The photographs, one per line:\n- a dog on the heath (a walk)\nPlace: london\n");
    const auto reply = awaited(loop, client.respond(request));
    ASSERT_TRUE(reply && std::holds_alternative<std::string>(*reply));
    EXPECT_EQ(std::get<std::string>(*reply),
              "\u201cDog heath · london.\u201d\nI named the batch after its first photograph and the place it was "
              "taken.");
    const Json body = lastRequest();
    EXPECT_EQ(body["messages"][1]["content"], request.prompt);
    EXPECT_FALSE(body.contains("response_format"));
}

TEST_F(ChatCompletionsModelTest, APromptThatIsNotUTF8IsSentRepairedRatherThanThrown)
{
    auto& client = standIn();
    const auto reply = awaited(loop, client.respond(textRequest("- caf\xe9 tables (a terrace)\n")));
    ASSERT_TRUE(reply && std::holds_alternative<std::string>(*reply));
    EXPECT_NE(lastRequest()["messages"][1]["content"].get<std::string>().find("caf\uFFFD"), std::string::npos);
}

TEST_F(ChatCompletionsModelTest, CancellingARequestStopsItWithoutBlamingTheServer)
{
    local::ModelServer::Options options;
    options.delay = 20s;
    auto& client = standIn(options);
    CancelSource cancel;
    std::optional<ModelReply> reply;
    TaskScope scope;
    scope.spawn(testing::storeInto(client.respond(textRequest("p"), cancel.token()), reply));
    loop.post([&] { cancel.cancel(); });
    ASSERT_TRUE(loop.runUntil([&] { return reply.has_value(); }, 5s));
    EXPECT_EQ(std::get<ModelFailure>(*reply).description, "network error -999: cancelled");
    EXPECT_TRUE(client.availability().isAvailable());
}

} // namespace
} // namespace oxel
