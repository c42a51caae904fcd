#include "ondevice/ModelGrade.h"

#include "ondevice/NoLanguageModel.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace oxel {
namespace {

using Reason = ModelAvailability::Reason;

ModelGradeDraft draft(std::string temperature, std::string density, double strength = 0.8)
{
    return {"soft window light, warm wood", std::move(temperature), std::move(density), strength,
            "  the wood glows a little warmer and the shadows stay soft  "};
}

ModelGradeDraft draftIn(const std::string& answer)
{
    auto parsed = ModelGradeDraft::fromAnswer(answer);
    EXPECT_TRUE(std::holds_alternative<ModelGradeDraft>(parsed)) << std::get<ModelFailure>(parsed).description;
    return std::get<ModelGradeDraft>(parsed);
}

std::string failureOf(const std::string& answer)
{
    auto parsed = ModelGradeDraft::fromAnswer(answer);
    EXPECT_TRUE(std::holds_alternative<ModelFailure>(parsed)) << answer;
    return std::holds_alternative<ModelFailure>(parsed) ? std::get<ModelFailure>(parsed).description : "";
}

TEST(ModelGradeAnswer, NamesTheCellFromTrimmedLowerCaseWordsAndScalesItsHouseGrade)
{
    const auto answer = ModelGrade::answer(draft(" Sun ", "RICH\n", 0.8));
    ASSERT_TRUE(answer.cell);
    EXPECT_EQ(answer.cell->look(), "sun-rich");
    EXPECT_EQ(answer.temperature, "sun");
    EXPECT_EQ(answer.density, "rich");
    EXPECT_EQ(answer.brief, "the wood glows a little warmer and the shadows stay soft");
    EXPECT_EQ(answer.reading, "soft window light, warm wood");
    ASSERT_TRUE(answer.grade);
    SuggestedGrade expected = GradeTheory::grade(*answer.cell, answer.brief).scaled(0.8);
    expected.look = "sun-rich";
    EXPECT_EQ(*answer.grade, expected);
}

TEST(ModelGradeAnswer, ANightInCellParsesAtItsLastHyphen)
{
    const auto answer = ModelGrade::answer(draft("night-in", "quiet"));
    ASSERT_TRUE(answer.cell);
    EXPECT_EQ(answer.cell->look(), "night-in-quiet");
}

TEST(ModelGradeAnswer, TemperatureNoneOrAnUnknownDensityIsADeclineThatKeepsTheWords)
{
    for (const auto& [temperature, density] : {std::pair{"none", "rich"}, {"warm", "loud"}, {"none", ""}}) {
        const auto answer = ModelGrade::answer(draft(temperature, density, 0.9));
        EXPECT_FALSE(answer.cell) << temperature << "-" << density;
        EXPECT_FALSE(answer.grade);
        EXPECT_EQ(answer.temperature, temperature);
        EXPECT_EQ(answer.strength, 0.9);
        EXPECT_EQ(answer.brief, "the wood glows a little warmer and the shadows stay soft");
    }
}

TEST(ModelGradeAnswer, StrengthIsClampedAndTheAskedValueKept)
{
    auto strong = ModelGrade::answer(draft("cool", "quiet", 1.3));
    EXPECT_EQ(strong.strength, 1.0);
    EXPECT_EQ(strong.strengthAsked, 1.3);
    auto faint = ModelGrade::answer(draft("cool", "quiet", 0.2));
    EXPECT_EQ(faint.strength, 0.4);
    EXPECT_EQ(faint.strengthAsked, 0.2);
}

TEST(ModelGradeInstructions, AreTwentyOneLinesOf2553BytesWithNoFinalNewline)
{
    const std::string& text = ModelGrade::instructions();
    EXPECT_EQ(text.size(), 2553u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 20);
    EXPECT_NE(text.back(), '\n');
    EXPECT_TRUE(text.starts_with("You are oxel's colourist."));
    EXPECT_NE(text.find("\nTEMPERATURE, which way"), std::string::npos);
    EXPECT_TRUE(text.ends_with("No jargon, no names of films or people."));
}

TEST(ModelGradeDraftSchema, KeepsItsPropertiesInOrderWhenSerialised)
{
    const std::string text = ModelGradeDraft::schema().dump();
    size_t last = 0;
    for (const char* name : {"\"reading\"", "\"temperature\"", "\"density\"", "\"strength\"", "\"brief\""}) {
        const size_t at = text.find(name, text.find("\"properties\""));
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_GT(at, last) << name;
        last = at;
    }
    const auto reread = nlohmann::ordered_json::parse(text);
    EXPECT_EQ(reread["description"], "The house's two decisions for one photograph, read from its light.");
    EXPECT_EQ(reread["properties"]["temperature"]["enum"],
              nlohmann::ordered_json({"sun", "night", "night-in", "warm", "cool", "none"}));
    EXPECT_EQ(reread["properties"]["density"]["enum"], nlohmann::ordered_json({"rich", "quiet", "drained"}));
    EXPECT_EQ(reread["properties"]["strength"]["minimum"], 0.4);
    EXPECT_EQ(reread["properties"]["strength"]["maximum"], 1.0);
    EXPECT_EQ(reread["properties"]["brief"]["description"],
              "One plain sentence of 14 to 20 words saying what the colour does to this photograph. No jargon, no "
              "names.");
}

TEST(ModelGradeDraftReading, TakesAnObjectOrOneSurroundingCodeFence)
{
    const std::string object =
        R"({"reading":"low sun","temperature":"sun","density":"rich","strength":0.9,"brief":"b"})";
    EXPECT_EQ(draftIn(object).strength, 0.9);
    EXPECT_EQ(draftIn("```json\n" + object + "\n```\n").temperature, "sun");
    EXPECT_EQ(draftIn("```\n" + object + "```").density, "rich");
}

TEST(ModelGradeDraftReading, RefusesWhatIsNotAWellTypedDraft)
{
    EXPECT_EQ(failureOf("sun, rich, 0.9"), "the model's answer is not a JSON object");
    EXPECT_EQ(failureOf("[1, 2]"), "the model's answer is not a JSON object");
    EXPECT_EQ(failureOf("```json\n```json\n{}\n```\n```"), "the model's answer is not a JSON object");
    EXPECT_EQ(failureOf(R"({"reading":"r","temperature":"sun","density":"rich","brief":"b"})"),
              "the model's answer has no \"strength\"");
    EXPECT_EQ(failureOf(R"({"reading":"r","temperature":"sun","density":"rich","strength":"0.9","brief":"b"})"),
              "the model's \"strength\" is not a number");
    EXPECT_EQ(failureOf(R"({"reading":1,"temperature":"sun","density":"rich","strength":0.9,"brief":"b"})"),
              "the model's \"reading\" is not text");
    EXPECT_EQ(failureOf(R"({"reading":"r","temperature":"sun","strength":0.9,"brief":"b"})"),
              "the model's answer has no \"density\"");
}

TEST(ModelGradeTexts, SayWhyColourOnlyCannotRunWithoutAServer)
{
    NoLanguageModel none({Reason::notSetUp, ""});
    EXPECT_EQ(ModelGrade::unavailableMessage(none),
              "colour only needs a local model that can read pictures, and none is set up on this computer. colour "
              "and light works as ever.");
    EXPECT_EQ(ModelGrade::diagnostic(none), "model unavailable: no model server is set up");
    NoLanguageModel remote({Reason::notOnThisComputer, "http://192.168.1.4:8080/v1"});
    EXPECT_EQ(ModelGrade::unavailableMessage(remote), ModelGrade::unavailableMessage(none));
    EXPECT_EQ(ModelGrade::diagnostic(remote), "model unavailable: the model server must be on this computer");
}

} // namespace
} // namespace oxel
