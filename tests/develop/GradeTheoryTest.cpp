#include "develop/grade/GradeTheory.h"
#include "develop/grade/GradeRunnerUp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unordered_set>

namespace oxel {
namespace {

using GradeTheory::Cell;
using GradeTheory::Density;
using GradeTheory::Temperature;
using ::testing::DoubleNear;
using ::testing::ElementsAre;

void expectNear(const SuggestedGrade& a, const SuggestedGrade& b, double tolerance = 1e-12)
{
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(a.lift[i], b.lift[i], tolerance);
        EXPECT_NEAR(a.gamma[i], b.gamma[i], tolerance);
        EXPECT_NEAR(a.gain[i], b.gain[i], tolerance);
    }
    EXPECT_NEAR(a.saturation, b.saturation, tolerance);
    EXPECT_NEAR(a.contrast, b.contrast, tolerance);
    EXPECT_NEAR(a.saturationShadows, b.saturationShadows, tolerance);
    EXPECT_NEAR(a.saturationHighlights, b.saturationHighlights, tolerance);
    EXPECT_EQ(a.skinHold, b.skinHold);
    ASSERT_EQ(a.hueMoves.size(), b.hueMoves.size());
    for (size_t i = 0; i < a.hueMoves.size(); ++i) {
        EXPECT_NEAR(a.hueMoves[i].from, b.hueMoves[i].from, tolerance);
        EXPECT_NEAR(a.hueMoves[i].to, b.hueMoves[i].to, tolerance);
        EXPECT_NEAR(a.hueMoves[i].width, b.hueMoves[i].width, tolerance);
        EXPECT_NEAR(a.hueMoves[i].saturation, b.hueMoves[i].saturation, tolerance);
        EXPECT_NEAR(a.hueMoves[i].luma, b.hueMoves[i].luma, tolerance);
    }
}

TEST(GradeTheory, ParsesLookNamesAtTheLastHyphen)
{
    EXPECT_EQ(GradeTheory::cell("night-in-quiet"), (Cell{Temperature::nightIn, Density::quiet}));
    EXPECT_EQ(GradeTheory::cell("  NIGHT-IN-QUIET\n"), (Cell{Temperature::nightIn, Density::quiet}));
    EXPECT_EQ(GradeTheory::cell("sun-rich"), (Cell{Temperature::sun, Density::rich}));
    for (const char* name : {"night-in", "warm", "-rich", "sun-", "sun-rich-", "hot-rich", "", "sun--rich", "sun rich"})
        EXPECT_FALSE(GradeTheory::cell(name)) << name;
}

TEST(GradeTheory, EveryCellNameParsesBackToItsCell)
{
    std::unordered_set<Cell> seen;
    for (Temperature t : GradeTheory::allTemperatures)
        for (Density d : GradeTheory::allDensities) {
            const Cell cell{t, d};
            EXPECT_EQ(GradeTheory::cell(cell.look()), cell) << cell.look();
            EXPECT_EQ(GradeTheory::grade(cell, "").look, cell.look());
            seen.insert(cell);
        }
    EXPECT_EQ(seen.size(), 15u);
    EXPECT_EQ((Cell{Temperature::nightIn, Density::drained}.look()), "night-in-drained");
}

TEST(GradeTheory, BuildsTheHouseGradeOfACell)
{
    const SuggestedGrade sunRich = GradeTheory::grade({Temperature::sun, Density::rich}, "golden");
    EXPECT_EQ(sunRich.brief, "golden");
    EXPECT_THAT(sunRich.lift, ElementsAre(-0.015, 0.005, 0.03));
    EXPECT_THAT(sunRich.gain, ElementsAre(1.045, 1, 0.955));
    EXPECT_EQ(sunRich.contrast, 1.12);
    EXPECT_EQ(sunRich.saturationShadows, 0.75);
    EXPECT_EQ(sunRich.saturationHighlights, 0.7);
    EXPECT_EQ(sunRich.skinHold, 0.45);
    EXPECT_EQ(sunRich.hueMoves.size(), 3u);

    const SuggestedGrade nightQuiet = GradeTheory::grade({Temperature::night, Density::quiet}, "");
    EXPECT_EQ(nightQuiet.saturationShadows, 0.8);
    EXPECT_EQ(nightQuiet.saturationHighlights, 0.95);
    const SuggestedGrade warmQuiet = GradeTheory::grade({Temperature::warm, Density::quiet}, "");
    EXPECT_EQ(warmQuiet.saturationShadows, 0.75);
    EXPECT_EQ(warmQuiet.saturationHighlights, 0.7);
    EXPECT_EQ(warmQuiet.hueMoves[1].width, 55);

    const SuggestedGrade coolQuiet = GradeTheory::grade({Temperature::cool, Density::quiet}, "");
    ASSERT_EQ(coolQuiet.hueMoves.size(), 2u);
    EXPECT_EQ(coolQuiet.hueMoves[0].from, 225);
    EXPECT_EQ(coolQuiet.hueMoves[1].from, 110);
    for (Temperature t : GradeTheory::allTemperatures)
        for (Density d : GradeTheory::allDensities) {
            if (!(t == Temperature::cool && d == Density::quiet)) {
                EXPECT_EQ(GradeTheory::grade({t, d}, "").hueMoves.size(), 3u);
            }
        }
}

TEST(GradeTheory, HouseGradesSurviveTheDecoderUnchanged)
{
    // The colour-only path stores house grades as JSON and reads them back through the decoder.
    for (Temperature t : GradeTheory::allTemperatures)
        for (Density d : GradeTheory::allDensities)
            for (double strength : {1.0, 0.4}) {
                const SuggestedGrade grade = GradeTheory::grade({t, d}, "x", strength);
                auto back = SuggestedGrade::decode(nlohmann::json(grade));
                ASSERT_TRUE(back);
                EXPECT_EQ(*back, grade) << grade.look.value();
            }
}

TEST(SuggestedGradeScaling, StrengthOneKeepsAndZeroRemovesTheGrade)
{
    for (Temperature t : GradeTheory::allTemperatures)
        for (Density d : GradeTheory::allDensities) {
            const SuggestedGrade house = GradeTheory::grade({t, d}, "b");
            expectNear(GradeTheory::grade({t, d}, "b", 1.0), house);

            const SuggestedGrade none = GradeTheory::grade({t, d}, "b", 0.0);
            EXPECT_THAT(none.lift, ElementsAre(0, 0, 0));
            EXPECT_THAT(none.gamma, ElementsAre(1, 1, 1));
            EXPECT_THAT(none.gain, ElementsAre(1, 1, 1));
            EXPECT_EQ(none.saturation, 1);
            EXPECT_EQ(none.contrast, 1);
            EXPECT_EQ(none.saturationShadows, 1);
            EXPECT_EQ(none.saturationHighlights, 1);
            EXPECT_EQ(none.skinHold, house.skinHold);
            EXPECT_EQ(none.brief, "b");
            EXPECT_EQ(none.look, house.look);
            ASSERT_EQ(none.hueMoves.size(), house.hueMoves.size());
            for (size_t i = 0; i < none.hueMoves.size(); ++i) {
                EXPECT_EQ(none.hueMoves[i].from, house.hueMoves[i].from);
                EXPECT_EQ(none.hueMoves[i].to, house.hueMoves[i].from);
                EXPECT_EQ(none.hueMoves[i].width, house.hueMoves[i].width);
                EXPECT_EQ(none.hueMoves[i].saturation, 1);
                EXPECT_EQ(none.hueMoves[i].luma, 1);
            }
        }
}

TEST(SuggestedGradeScaling, MovesHuesAlongTheShorterArc)
{
    SuggestedGrade grade;
    grade.hueMoves = {{350, 10, 45, 1.2, 0.8}, {10, 350, 45, 1, 1}, {0, 180, 45, 1, 1}};
    const SuggestedGrade half = grade.scaled(0.5);
    EXPECT_EQ(half.hueMoves[0].to, 0); // 350 + 10 wraps to 0, not 360
    EXPECT_DOUBLE_EQ(half.hueMoves[0].saturation, 1.1);
    EXPECT_DOUBLE_EQ(half.hueMoves[0].luma, 0.9);
    EXPECT_EQ(half.hueMoves[1].to, 0);
    EXPECT_EQ(half.hueMoves[2].to, 90);
    EXPECT_EQ(hueArc(180), 180);
    EXPECT_EQ(hueArc(-180), -180);
    EXPECT_EQ(hueArc(270), -90);
    EXPECT_EQ(hueArc(-270), 90);
}

TEST(SuggestedGradeProjection, MeasuresHowFarAlongTheReferenceAGradeLies)
{
    const SuggestedGrade identity;
    for (Temperature t : GradeTheory::allTemperatures)
        for (Density d : GradeTheory::allDensities) {
            const SuggestedGrade house = GradeTheory::grade({t, d}, "");
            EXPECT_EQ(house.projection(house), 1.0);
            EXPECT_EQ(house.projection(identity), 0.0);
            EXPECT_EQ(house.scaled(0.5).projection(house), 0.5) << house.look.value();
            EXPECT_EQ(identity.projection(house), 0.0);
        }
}

TEST(SuggestedGradeProjection, MatchesHueMovesByTheNearestCentre)
{
    SuggestedGrade reference;
    EXPECT_EQ(reference.features(reference).size(), 13u);
    reference.hueMoves = {{35, 28, 45, 1.1, 1}, {225, 200, 50, 1, 1}, {110, 125, 45, 1, 0.9}};
    EXPECT_EQ(reference.features(reference).size(), 22u);

    SuggestedGrade grade;
    // Two candidates at the same distance from 35: the first one found is kept.
    grade.hueMoves = {{25, 15, 45, 1.2, 1}, {45, 45, 45, 1.5, 1}, {300, 0, 45, 1, 1}};
    const auto f = grade.features(reference);
    EXPECT_THAT(std::vector<double>(f.begin() + 13, f.begin() + 16),
                ElementsAre(DoubleNear(-0.1, 1e-12), DoubleNear(0.2, 1e-12), 0));
    // Nothing within 45 degrees of 225 or 110.
    EXPECT_THAT(std::vector<double>(f.begin() + 16, f.end()), ElementsAre(0, 0, 0, 0, 0, 0));
}

TEST(GradeRunnerUp, PicksTheRunnerUpHouseGrade)
{
    const SuggestedGrade sunRich = GradeTheory::grade({Temperature::sun, Density::rich}, "");
    EXPECT_FALSE(GradeRunnerUp::alternative(sunRich, std::nullopt));
    EXPECT_FALSE(GradeRunnerUp::alternative(sunRich, ""));
    EXPECT_FALSE(GradeRunnerUp::alternative(sunRich, "sun-rich"));
    EXPECT_FALSE(GradeRunnerUp::alternative(sunRich, "night-in"));

    const Cell warmQuiet{Temperature::warm, Density::quiet};
    auto full = GradeRunnerUp::alternative(sunRich, "warm-quiet");
    ASSERT_TRUE(full);
    EXPECT_EQ(*full, GradeTheory::grade(warmQuiet, "", 1.0));

    auto half = GradeRunnerUp::alternative(sunRich.scaled(0.5), "warm-quiet");
    ASSERT_TRUE(half);
    EXPECT_EQ(*half, GradeTheory::grade(warmQuiet, "", 0.5));

    // Never below 0.4, never above 1.
    EXPECT_EQ(*GradeRunnerUp::alternative(sunRich.scaled(0.1), "warm-quiet"), GradeTheory::grade(warmQuiet, "", 0.4));
    EXPECT_EQ(*GradeRunnerUp::alternative(sunRich.scaled(1.5), "warm-quiet"), GradeTheory::grade(warmQuiet, "", 1.0));
}

TEST(GradeRunnerUp, TakesAMiddleStrengthWhenTheChosenLookIsUnknown)
{
    const Cell coolRich{Temperature::cool, Density::rich};
    SuggestedGrade unnamed = GradeTheory::grade({Temperature::sun, Density::rich}, "");
    unnamed.look.reset();
    EXPECT_EQ(*GradeRunnerUp::alternative(unnamed, "cool-rich"), GradeTheory::grade(coolRich, "", 0.6));
    unnamed.look = "sunny";
    EXPECT_EQ(*GradeRunnerUp::alternative(unnamed, "cool-rich"), GradeTheory::grade(coolRich, "", 0.6));
}

} // namespace
} // namespace oxel
