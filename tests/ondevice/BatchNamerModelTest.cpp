#include "ondevice/BatchNamer.h"

#include "library/BatchRecord.h"
#include "ondevice/NoLanguageModel.h"
#include "ondevice/OnDeviceTestSupport.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

using BatchNamer::Coordinate;
using testing::awaited;
using Json = nlohmann::json;
using Names = std::optional<std::string>;

TEST(BatchNamerModel, EvenlySpacedTakesEveryNthOrAll)
{
    const std::vector<int> ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(BatchNamer::evenlySpaced(ten, 3), (std::vector<int>{0, 3, 6}));
    EXPECT_EQ(BatchNamer::evenlySpaced(ten, 10), ten);
    EXPECT_EQ(BatchNamer::evenlySpaced(ten, 12), ten);
    EXPECT_EQ(BatchNamer::evenlySpaced(std::vector<int>{}, 3), std::vector<int>{});
}

class PlaceNameTest : public ::testing::Test {
protected:
    // A geocoder that answers each asked latitude from a script and notes what was asked.
    BatchNamer::Geocoder scripted(std::vector<Names> answers)
    {
        return [this, answers = std::move(answers)](Coordinate coordinate) -> Task<Names> {
            asked.push_back(coordinate.latitude);
            co_return answers.at(size_t(coordinate.latitude));
        };
    }

    Names placeOf(size_t pictures, std::vector<Names> answers)
    {
        std::vector<Coordinate> coordinates;
        for (size_t i = 0; i < pictures; ++i) coordinates.push_back({double(i), 0});
        return awaited(loop, BatchNamer::placeName(coordinates, scripted(std::move(answers)))).value();
    }

    ManualLoop loop;
    std::vector<double> asked;
};

TEST_F(PlaceNameTest, AsksAtMostThreeEvenlySpacedCoordinates)
{
    EXPECT_EQ(placeOf(10, std::vector<Names>(10, "Leeds")), "leeds");
    EXPECT_EQ(asked, (std::vector<double>{0, 3, 6}));
    asked.clear();
    EXPECT_EQ(placeOf(2, {"Leeds", "LEEDS"}), "leeds");
    EXPECT_EQ(asked, (std::vector<double>{0, 1}));
    EXPECT_EQ(placeOf(0, {}), std::nullopt);
}

TEST_F(PlaceNameTest, GivesAPlaceOnlyWhenEveryNameAgrees)
{
    EXPECT_EQ(placeOf(3, {"London", "london", "London"}), "london");
    EXPECT_EQ(placeOf(2, {"London", "Croydon"}), std::nullopt);
}

TEST_F(PlaceNameTest, StopsAtTheFirstCoordinateWithoutAName)
{
    EXPECT_EQ(placeOf(3, {"London", std::nullopt, "London"}), std::nullopt);
    EXPECT_EQ(asked, (std::vector<double>{0, 1}));
}

TEST(BatchNamerModel, ReverseGeocodesOnThePool)
{
    ManualLoop loop;
    EXPECT_EQ(awaited(loop, BatchNamer::reverseGeocode({53.9623, -1.0819})).value(), "York");
    EXPECT_EQ(awaited(loop, BatchNamer::reverseGeocode({55.0, 3.0})).value(), std::nullopt);
}

class AskModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = std::make_unique<local::ModelServer>(testing::standInOptions(loop));
        ASSERT_TRUE(server->start());
        model = testing::clientOf(loop, server->baseURL(), false);
        ASSERT_TRUE(testing::probed(loop, *model));
    }

    Names ask(std::vector<std::string> descriptions, std::vector<std::string> intents, Names place,
              LanguageModel* asked = nullptr)
    {
        return awaited(loop, BatchNamer::askModel(std::move(descriptions), std::move(intents), std::move(place),
                                                  asked ? asked : model.get()))
            .value();
    }

    Json lastRequest() const { return Json::parse(server->receivedCompletions().back()); }
    std::string lastPrompt() const { return lastRequest()["messages"].back()["content"].get<std::string>(); }

    ManualLoop loop;
    std::unique_ptr<local::ModelServer> server;
    std::unique_ptr<ChatCompletionsModel> model;
};

TEST_F(AskModelTest, PutsTwelveEvenlySpacedPicturesAndThePlaceIntoTheRequest)
{
    std::vector<std::string> descriptions, intents;
    for (int i = 0; i < 30; ++i) {
        descriptions.push_back("picture " + std::to_string(i));
        intents.push_back(i % 2 ? "" : "intent " + std::to_string(i));
    }
    const Names name = ask(descriptions, intents, "york");
    ASSERT_TRUE(name);
    EXPECT_EQ(*name, "picture 0 · york");

    std::string expected = "The photographs, one per line:\n";
    for (int i : {0, 2, 5, 7, 10, 12, 15, 17, 20, 22, 25, 27}) {
        expected += "- picture " + std::to_string(i);
        if (i % 2 == 0) expected += " (intent " + std::to_string(i) + ")";
        expected += "\n";
    }
    expected += "Place: york\n";
    EXPECT_EQ(lastPrompt(), expected);

    const Json request = lastRequest();
    EXPECT_EQ(request["temperature"], 0);
    EXPECT_FALSE(request.contains("max_tokens"));
    EXPECT_FALSE(request.contains("response_format"));
    EXPECT_EQ(request["messages"].front()["content"], BatchNamer::modelInstructions());
}

TEST_F(AskModelTest, SaysWhenNoPlaceIsGivenAndLeavesEmptyIntentsOut)
{
    EXPECT_EQ(ask({"a dog on a beach", "a dog running"}, {"", "joy"}, std::nullopt), "dog beach");
    EXPECT_EQ(lastPrompt(), "The photographs, one per line:\n- a dog on a beach\n- a dog running (joy)\n"
                            "No place is given.\n");
}

TEST_F(AskModelTest, GivesNothingWithoutADescriptionOrAModel)
{
    EXPECT_EQ(ask({}, {}, "york"), std::nullopt);
    EXPECT_TRUE(server->receivedCompletions().empty());
    NoLanguageModel none;
    EXPECT_EQ(ask({"a dog"}, {""}, std::nullopt, &none), std::nullopt);
}

TEST_F(AskModelTest, AFailingModelGivesNothing)
{
    auto options = testing::standInOptions(loop);
    options.status = 500;
    server->setOptions(options);
    EXPECT_EQ(ask({"a dog"}, {""}, std::nullopt), std::nullopt);

    testing::CannedModelServer blank(200, testing::completionSaying("\u201c.\u201d"));
    auto client = testing::clientOf(loop, blank.baseURL());
    ASSERT_TRUE(testing::probed(loop, *client));
    EXPECT_EQ(ask({"a dog"}, {""}, std::nullopt, client.get()), std::nullopt);
}

TEST(BatchNamerModel, CleansTheAnswerToItsFirstLine)
{
    using BatchNamer::cleanAnswer;
    EXPECT_EQ(cleanAnswer("\u201cGarden Party.\u201d"), "garden party");
    EXPECT_EQ(cleanAnswer("wedding\nI named it after the bride."), "wedding");
    EXPECT_EQ(cleanAnswer("\r\n\u2028 Dogs on the Heath \u2029more"), "dogs on the heath");
    EXPECT_EQ(cleanAnswer("\u0085'headshots \u00B7 london':"), "headshots \u00B7 london");
    EXPECT_EQ(cleanAnswer("one two three four five six seven eight"), "one two three four five six");
    EXPECT_EQ(cleanAnswer("one two three four five six seven"), "one two three four five six seven");
    EXPECT_EQ(cleanAnswer("one  two\tthree"), "one  two three");
    EXPECT_EQ(cleanAnswer("\u00A0\u3000street\u00A0"), "street");
    EXPECT_EQ(cleanAnswer("\"\".\u2018\u2019."), std::nullopt);
    EXPECT_EQ(cleanAnswer(""), std::nullopt);
    EXPECT_EQ(cleanAnswer("\n\n"), std::nullopt);
    EXPECT_EQ(cleanAnswer("STUDIO \xff"), "studio \xEF\xBF\xBD");
}

TEST(BatchNamerModel, AnAnswerOfMegabytesOnOneLineBecomesANameOfAHundredCharacters)
{
    using BatchNamer::cleanAnswer;
    const std::string answer(60 << 20, 'w');
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(cleanAnswer(answer), std::string(BatchRecord::longestName, 'w'));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));
    EXPECT_EQ(cleanAnswer("garden\u202E ytrap\u202C \u2067\u00B7 york\u2069"), "garden ytrap \u00B7 york");
    EXPECT_EQ(cleanAnswer("\u202E\u2066\u200F"), std::nullopt);
    EXPECT_EQ(cleanAnswer("wed\x1b[2Jding\x7f party"), "wed [2jding  party");
    // Whole characters: a flag or a letter with its marks is never cut in two.
    const std::string flags = [] {
        std::string text;
        for (int i = 0; i < 120; ++i) text += "\U0001F1EC\U0001F1E7";
        return text;
    }();
    EXPECT_EQ(cleanAnswer(flags)->size(), BatchRecord::longestName * 8);
}

} // namespace
} // namespace oxel
