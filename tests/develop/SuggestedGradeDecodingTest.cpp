#include "develop/grade/GradeRunnerUp.h"
#include "develop/grade/SuggestedGrade.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace oxel {
namespace {

using json = nlohmann::json;
using ::testing::DoubleNear;
using ::testing::ElementsAre;

json plainGrade()
{
    return json{{"lift", {0, 0, 0}}, {"gamma", {1, 1, 1}}, {"gain", {1, 1, 1}}};
}

SuggestedGrade decoded(const json& value)
{
    auto grade = SuggestedGrade::decode(value);
    EXPECT_TRUE(grade) << grade.error().text();
    return grade ? *grade : SuggestedGrade{};
}

SuggestedGrade decodedWith(const char* key, const json& value)
{
    json object = plainGrade();
    object[key] = value;
    return decoded(object);
}

TEST(SuggestedGradeDecoding, BalancesTheLiftMeanOntoTheNearerBound)
{
    EXPECT_THAT(decodedWith("lift", {0.1, 0.1, 0.1}).lift,
                ElementsAre(DoubleNear(0.04, 1e-12), DoubleNear(0.04, 1e-12), DoubleNear(0.04, 1e-12)));
    // The shift may carry a channel beyond the per-channel bound; it is not clamped again.
    EXPECT_THAT(decodedWith("lift", {-0.1, -0.1, 0.1}).lift,
                ElementsAre(DoubleNear(-0.086667, 1e-6), DoubleNear(-0.086667, 1e-6), DoubleNear(0.113333, 1e-6)));
    // Clamped per channel first; the mean then lies inside the band and stays.
    EXPECT_THAT(decodedWith("lift", {0.5, 0, 0}).lift, ElementsAre(0.1, 0, 0));
}

TEST(SuggestedGradeDecoding, LeavesMeansExactlyOnTheBoundsAlone)
{
    EXPECT_THAT(decodedWith("lift", {-0.02, -0.02, -0.02}).lift, ElementsAre(-0.02, -0.02, -0.02));
    EXPECT_THAT(decodedWith("lift", {0.04, 0.04, 0.04}).lift, ElementsAre(0.04, 0.04, 0.04));
    EXPECT_THAT(decodedWith("gain", {0.97, 0.97, 0.97}).gain, ElementsAre(0.97, 0.97, 0.97));
    EXPECT_THAT(decodedWith("gain", {1.03, 1.03, 1.03}).gain, ElementsAre(1.03, 1.03, 1.03));
}

TEST(SuggestedGradeDecoding, BalancesTheGainKeepingChannelRatios)
{
    EXPECT_THAT(decodedWith("gain", {1.15, 1.15, 1.15}).gain,
                ElementsAre(DoubleNear(1.03, 1e-12), DoubleNear(1.03, 1e-12), DoubleNear(1.03, 1e-12)));
    const auto gain = decodedWith("gain", {1.15, 1.1, 1.0}).gain;
    EXPECT_THAT(gain, ElementsAre(DoubleNear(1.0934, 1e-4), DoubleNear(1.0458, 1e-4), DoubleNear(0.9508, 1e-4)));
    EXPECT_NEAR(gain[0] / gain[2], 1.15, 1e-12);
}

TEST(SuggestedGradeDecoding, ClampsGammaPerChannel)
{
    EXPECT_THAT(decodedWith("gamma", {2, 0.5, 1}).gamma, ElementsAre(1.2, 0.85, 1));
}

TEST(SuggestedGradeDecoding, FailsOnlyForMissingOrBrokenTriples)
{
    json shortLift = plainGrade();
    shortLift["lift"] = {0, 0};
    auto grade = SuggestedGrade::decode(shortLift);
    ASSERT_FALSE(grade);
    EXPECT_EQ(grade.error().key, "lift");
    EXPECT_EQ(grade.error().description, "three finite numbers");

    json noGamma = plainGrade();
    noGamma.erase("gamma");
    grade = SuggestedGrade::decode(noGamma);
    ASSERT_FALSE(grade);
    EXPECT_EQ(grade.error().key, "gamma");
    EXPECT_NE(grade.error().description, "three finite numbers");

    json textGain = plainGrade();
    textGain["gain"] = {1, "1", 1};
    EXPECT_FALSE(SuggestedGrade::decode(textGain));
    textGain["gain"] = {1, true, 1};
    EXPECT_FALSE(SuggestedGrade::decode(textGain));
    textGain["gain"] = "1,1,1";
    EXPECT_FALSE(SuggestedGrade::decode(textGain));
    textGain["gain"] = {1, 1, 1, 1};
    EXPECT_FALSE(SuggestedGrade::decode(textGain));
    textGain["gain"] = {1, std::numeric_limits<double>::infinity(), 1};
    EXPECT_FALSE(SuggestedGrade::decode(textGain));

    EXPECT_FALSE(SuggestedGrade::decode(json::array({plainGrade()})));
    EXPECT_FALSE(SuggestedGrade::decode(json()));
    EXPECT_FALSE(SuggestedGrade::decode(json("grade")));
}

TEST(SuggestedGradeDecoding, ReportsTheFirstBrokenTriple)
{
    json object = plainGrade();
    object["lift"] = {0};
    object.erase("gain");
    auto grade = SuggestedGrade::decode(object);
    ASSERT_FALSE(grade);
    EXPECT_EQ(grade.error().key, "lift");
}

TEST(SuggestedGradeDecoding, DefaultsEveryOptionalValue)
{
    const SuggestedGrade grade = decoded(plainGrade());
    EXPECT_EQ(grade.brief, "");
    EXPECT_FALSE(grade.look);
    EXPECT_EQ(grade.saturation, 1.0);
    EXPECT_EQ(grade.contrast, 1.0);
    EXPECT_EQ(grade.saturationShadows, 1.0);
    EXPECT_EQ(grade.saturationHighlights, 1.0);
    EXPECT_EQ(grade.skinHold, 0.7);
    EXPECT_TRUE(grade.hueMoves.empty());
}

TEST(SuggestedGradeDecoding, UnreadableOptionalValuesTakeTheirDefaults)
{
    json object = plainGrade();
    for (const char* key : {"saturation", "contrast", "saturation_shadows", "saturation_highlights", "skin_hold"})
        object[key] = json::array({1.1});
    object["brief"] = 7;
    object["hue_moves"] = nullptr;
    const SuggestedGrade grade = decoded(object);
    EXPECT_EQ(grade.saturation, 1.0);
    EXPECT_EQ(grade.contrast, 1.0);
    EXPECT_EQ(grade.saturationShadows, 1.0);
    EXPECT_EQ(grade.saturationHighlights, 1.0);
    EXPECT_EQ(grade.skinHold, 0.7);
    EXPECT_EQ(grade.brief, "");
    EXPECT_EQ(decodedWith("skin_hold", "high").skinHold, 0.7);
    EXPECT_EQ(decodedWith("skin_hold", nullptr).skinHold, 0.7);
    EXPECT_EQ(decodedWith("saturation", true).saturation, 1.0);
}

TEST(SuggestedGradeDecoding, ClampsTheScalars)
{
    EXPECT_EQ(decodedWith("skin_hold", -0.5).skinHold, 0);
    EXPECT_EQ(decodedWith("skin_hold", 3).skinHold, 1);
    EXPECT_EQ(decodedWith("saturation", 2).saturation, 1.35);
    EXPECT_EQ(decodedWith("saturation", 0).saturation, 0.6);
    EXPECT_EQ(decodedWith("contrast", 0.5).contrast, 0.8);
    EXPECT_EQ(decodedWith("contrast", 9).contrast, 1.3);
    EXPECT_EQ(decodedWith("saturation_shadows", 0).saturationShadows, 0.4);
    EXPECT_EQ(decodedWith("saturation_highlights", 5).saturationHighlights, 1.2);
}

TEST(SuggestedGradeDecoding, NormalisesTheLookName)
{
    EXPECT_EQ(decodedWith("look", "  Night-In-QUIET\n").look, "night-in-quiet");
    EXPECT_EQ(decodedWith("look", "\u00a0\u3000sun-rich\u2028").look, "sun-rich");
    EXPECT_EQ(decodedWith("look", "").look, "");
    EXPECT_FALSE(decodedWith("look", 5).look);
    EXPECT_FALSE(decodedWith("look", nullptr).look);
    // Only ASCII letters change case; other text is compared byte for byte.
    EXPECT_EQ(decodedWith("look", "\u00c9T\u00c9").look, "\u00c9t\u00c9");
}

json move(double from, double to)
{
    return json{{"from", from}, {"to", to}};
}

TEST(SuggestedGradeDecoding, KeepsAtMostThreeReadableHueMoves)
{
    json five = json::array();
    for (int i = 0; i < 5; ++i) five.push_back(move(10 * i, 20));
    auto moves = decodedWith("hue_moves", five).hueMoves;
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[2].from, 20);

    json brokenFirst = json::array({json{{"from", "red"}, {"to", 5}}});
    for (int i = 1; i <= 4; ++i) brokenFirst.push_back(move(10 * i, 20));
    moves = decodedWith("hue_moves", brokenFirst).hueMoves;
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[0].from, 10);
    EXPECT_EQ(moves[2].from, 30);

    moves = decodedWith("hue_moves", json::array({json{{"from", 10}}, 42, "x", move(1, 2)})).hueMoves;
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].from, 1);

    EXPECT_TRUE(decodedWith("hue_moves", json{{"from", 1}, {"to", 2}}).hueMoves.empty());
}

TEST(SuggestedGradeDecoding, WrapsAndClampsHueMoves)
{
    auto wrapped = SuggestedGrade::HueMove::decode(move(370, -30));
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(wrapped->from, 10);
    EXPECT_EQ(wrapped->to, 330);
    EXPECT_EQ(wrapped->width, 45);
    EXPECT_EQ(wrapped->saturation, 1.0);
    EXPECT_EQ(wrapped->luma, 1.0);
    EXPECT_EQ(SuggestedGrade::HueMove::decode(move(-360, 720))->from, 0);
    EXPECT_EQ(SuggestedGrade::HueMove::decode(move(-360, 720))->to, 0);

    json narrow = move(0, 0);
    narrow["width"] = 5;
    narrow["saturation"] = 9;
    narrow["luma"] = 0;
    auto clamped = SuggestedGrade::HueMove::decode(narrow);
    EXPECT_EQ(clamped->width, 10);
    EXPECT_EQ(clamped->saturation, 1.5);
    EXPECT_EQ(clamped->luma, 0.7);

    auto infinite = SuggestedGrade::HueMove::decode(move(std::numeric_limits<double>::infinity(), 0));
    ASSERT_FALSE(infinite);
    EXPECT_EQ(infinite.error().description, "finite hues");
}

TEST(SuggestedGradeDecoding, SurvivesHostileDocuments)
{
    const char* documents[] = {
        R"({"lift":[1e308,-1e308,1e308],"gamma":[0,0,0],"gain":[1e308,1e308,1e308]})",
        R"({"lift":[0,0,0],"gamma":[1,1,1],"gain":[1,1,1],"hue_moves":[{"from":1e308,"to":-1e308,"width":-1e308}]})",
        R"({"lift":[0,0,0],"gamma":[1,1,1],"gain":[1,1,1],"look":{"a":1},"brief":["x"],"skin_hold":{}})",
        R"({"lift":[0,0,0],"gamma":[1,1,1],"gain":[1,1,1],"lift":[0.1,0.1,0.1]})",
        R"({"lift":[0,0,0],"gamma":[1,1,1],"gain":[18446744073709551615,0,0]})",
    };
    for (const char* text : documents) {
        auto grade = SuggestedGrade::decode(json::parse(text));
        ASSERT_TRUE(grade) << text;
        for (const auto* triple : {&grade->lift, &grade->gamma, &grade->gain})
            for (double v : *triple) EXPECT_TRUE(std::isfinite(v)) << text;
        for (const auto& m : grade->hueMoves) {
            EXPECT_GE(m.from, 0);
            EXPECT_LT(m.from, 360);
            EXPECT_GE(m.width, 10);
        }
    }
}

TEST(SuggestedGradeDecoding, EncodesToWhatItDecodesFrom)
{
    SuggestedGrade grade;
    grade.brief = "late sun";
    grade.look = "sun-rich";
    grade.lift = {-0.015, 0.005, 0.03};
    grade.gain = {1.045, 1, 0.955};
    grade.gamma = {0.99, 1, 1.02};
    grade.saturation = 1.08;
    grade.contrast = 1.12;
    grade.saturationShadows = 0.75;
    grade.saturationHighlights = 0.7;
    grade.skinHold = 0.45;
    grade.hueMoves = {{35, 28, 45, 1.12, 1}, {225, 200, 50, 1.08, 0.95}};
    const json encoded = grade;
    EXPECT_EQ(encoded["saturation_shadows"], 0.75);
    EXPECT_EQ(encoded["hue_moves"][1]["luma"], 0.95);
    EXPECT_EQ(decoded(json::parse(encoded.dump())), grade);

    grade.look.reset();
    const json withoutLook = grade;
    EXPECT_FALSE(withoutLook.contains("look"));
    EXPECT_EQ(decoded(withoutLook), grade);
}

TEST(SuggestedGradeDecoding, ComparesEveryField)
{
    const SuggestedGrade base = decoded(plainGrade());
    SuggestedGrade other = base;
    EXPECT_EQ(base, other);
    other.look = "";
    EXPECT_NE(base, other);
    other = base;
    other.hueMoves.push_back({});
    EXPECT_NE(base, other);
    other = base;
    other.lift[2] = 1e-17;
    EXPECT_NE(base, other);
}

TEST(GradeRunnerUpDecoding, ReadsTheRunnerUpBesideTheGrade)
{
    json object = plainGrade();
    EXPECT_FALSE(GradeRunnerUp::decode(object)->lookAlt);
    object["look_alt"] = " Warm-Quiet\t";
    EXPECT_EQ(GradeRunnerUp::decode(object)->lookAlt, "warm-quiet");
    object["look_alt"] = 3;
    EXPECT_FALSE(GradeRunnerUp::decode(object)->lookAlt);
    EXPECT_FALSE(GradeRunnerUp::decode(json::array()));

    json encoded = plainGrade();
    encoded.update(json(GradeRunnerUp{"cool-rich"}));
    EXPECT_EQ(GradeRunnerUp::decode(encoded)->lookAlt, "cool-rich");
    EXPECT_TRUE(json(GradeRunnerUp{}).empty());
}

} // namespace
} // namespace oxel
