#include "backend/AnalysisResponse.h"
#include "backend/AppConfig.h"
#include "backend/BalanceResponse.h"
#include "backend/Base64.h"
#include "backend/JobResultResponse.h"
#include "backend/JobStatusResponse.h"
#include "backend/ProProduct.h"
#include "backend/ResultWire.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

const char* gradeObject =
    R"({"lift": [0, 0, 0], "gamma": [1, 1, 1], "gain": [1, 1, 1], "look": "Sun-Rich", "look_alt": "sun-quiet"})";

AnalysisResponse analysisOf(const std::string& text)
{
    auto analysis = AnalysisResponse::decode(text);
    EXPECT_TRUE(analysis) << analysis.error().text();
    return analysis ? *analysis : AnalysisResponse{};
}

TEST(AnalysisResponse, AnEmptyObjectReadsAsTheDefaults)
{
    auto analysis = analysisOf("{}");
    EXPECT_EQ(analysis.perceived_intent, "");
    EXPECT_TRUE(analysis.descriptors.empty());
    EXPECT_FALSE(analysis.isBlackAndWhite);
    EXPECT_EQ(analysis.grain, (AnalysisResponse::Grain{1, 2}));
    EXPECT_EQ(analysis.descriptions, AnalysisResponse::Descriptions{});
    EXPECT_FALSE(analysis.grade);
    EXPECT_FALSE(analysis.gradeLookAlt);
}

TEST(AnalysisResponse, OneBadFieldFallsBackWithoutSpoilingTheOthers)
{
    auto analysis = analysisOf(R"({"perceived_intent": 3, "descriptors": ["a", 5], "isBlackAndWhite": "yes",
        "grain": {"refined": 3}, "descriptions": {"original": "o", "refined": "r"},
        "grade": {"lift": [0, 0]}, "extra": [1, 2]})");
    EXPECT_EQ(analysis, AnalysisResponse{});
    auto good = analysisOf(R"({"perceived_intent": "calm", "descriptors": ["a", "b"],
        "grain": {"refined": 3, "full_send": 1}, "descriptions": {"original": "o", "refined": "r", "full_send": "f"}})");
    EXPECT_EQ(good.perceived_intent, "calm");
    EXPECT_EQ(good.descriptors, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(good.grain, (AnalysisResponse::Grain{3, 1}));
    EXPECT_EQ(good.descriptions.full_send, "f");
}

TEST(AnalysisResponse, ReadsTheGradeAndItsRunnerUpUnlessBlackAndWhite)
{
    auto colour = analysisOf(std::string(R"({"grade": )") + gradeObject + "}");
    ASSERT_TRUE(colour.grade);
    EXPECT_EQ(colour.grade->look, "sun-rich");
    EXPECT_EQ(colour.gradeLookAlt, "sun-quiet");
    auto mono = analysisOf(std::string(R"({"isBlackAndWhite": true, "grade": )") + gradeObject + "}");
    EXPECT_FALSE(mono.grade);
    EXPECT_FALSE(mono.gradeLookAlt);
}

TEST(AnalysisResponse, WritesWhatItReadsBack)
{
    auto full = analysisOf(
        std::string(R"({"perceived_intent": "calm", "descriptors": ["a"], "grain": {"refined": 2, "full_send": 3},
        "descriptions": {"original": "o", "refined": "r", "full_send": "f"}, "grade": )") +
        gradeObject + "}");
    ASSERT_TRUE(full.grade);
    EXPECT_EQ(analysisOf(Json(full).dump()), full);
    AnalysisResponse mono;
    mono.isBlackAndWhite = true;
    EXPECT_FALSE(Json(mono).contains("grade"));
    EXPECT_EQ(analysisOf(Json(mono).dump()), mono);
}

TEST(AnalysisResponse, OnlyAValueThatIsNotAnObjectFails)
{
    EXPECT_FALSE(AnalysisResponse::decode("[]"));
    EXPECT_FALSE(AnalysisResponse::decode("not json"));
    EXPECT_TRUE(AnalysisResponse::decode(R"({"grade": null})"));
}

TEST(JobStatusResponse, RequiresIdAndStatusAndRefusesWrongTypes)
{
    auto minimal = JobStatusResponse::decode(R"({"job_id": "j", "status": "queued"})");
    ASSERT_TRUE(minimal);
    EXPECT_EQ(minimal->jobId, "j");
    EXPECT_FALSE(minimal->narration);
    EXPECT_FALSE(minimal->failureCode);
    EXPECT_FALSE(JobStatusResponse::decode(R"({"job_id": "j", "status": "queued", "narration": {"direction": 5}})"));
    EXPECT_FALSE(JobStatusResponse::decode(R"({"job_id": "j"})"));
    EXPECT_FALSE(JobStatusResponse::decode(R"({"job_id": 7, "status": "queued"})"));
    EXPECT_FALSE(JobStatusResponse::decode(R"({"job_id": "j", "status": "queued", "postprocess_version": 1.5})"));
    EXPECT_FALSE(JobStatusResponse::decode(R"(["job_id"])"));
    auto full = JobStatusResponse::decode(R"({"job_id": "j", "status": "failed", "failure_code": "content_policy",
        "updated_at": "2026-01-01T00:00:00Z", "postprocess_version": 2, "post_processed": null,
        "narration": {"descriptors": ["x"], "perceived_intent": null}})");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->failureCode, "content_policy");
    EXPECT_EQ(full->postprocessVersion, 2);
    EXPECT_FALSE(full->postProcessed);
    EXPECT_EQ(full->narration, (JobNarration{std::vector<std::string>{"x"}, std::nullopt, std::nullopt}));
}

TEST(JobNarration, EqualOnlyWhenEveryFieldIs)
{
    JobNarration a{std::vector<std::string>{"x"}, "calm", std::nullopt};
    JobNarration b = a;
    EXPECT_EQ(a, b);
    b.direction = "";
    EXPECT_NE(a, b);
}

TEST(JobResultResponse, NeedsAnAnalysisObjectButNoPictures)
{
    EXPECT_FALSE(JobResultResponse::decode(R"({"analysis": []})"));
    EXPECT_FALSE(JobResultResponse::decode(R"({"refinedImage": "AAAA"})"));
    EXPECT_FALSE(JobResultResponse::decode(R"({"analysis": {}, "fullSendImage": 5})"));
    auto bare = JobResultResponse::decode(R"({"analysis": {}})");
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->refinedImage);
    EXPECT_EQ(bare->analysis, AnalysisResponse{});
}

TEST(ResultWire, DecodesPicturesIgnoringCharactersOutsideTheAlphabet)
{
    auto response = JobResultResponse::decode(R"({"analysis": {}, "refinedImage": "aGVs\nbG8=", "fullSendImage": "A",
        "post_processed": true, "imageModel": "m"})");
    ASSERT_TRUE(response);
    auto wire = ResultWire::from(*response);
    EXPECT_EQ(wire.refined, "hello");
    EXPECT_FALSE(wire.fullSend);
    EXPECT_EQ(wire.postProcessed, true);
    EXPECT_EQ(wire.imageModel, "m");
}

TEST(Base64, RoundTripsEveryRemainder)
{
    for (const std::string& bytes :
         std::vector<std::string>{"", "a", "ab", "abc", "abcd", std::string("\0\xFF\x10", 3)}) {
        EXPECT_EQ(base64Decoded(base64Encoded(bytes)), bytes);
    }
    EXPECT_EQ(base64Encoded("ab"), "YWI=");
}

TEST(AppConfig, ParsesWithDefaultsAndBounds)
{
    EXPECT_EQ(AppConfig::parse("{}"), AppConfig::defaults());
    EXPECT_FALSE(AppConfig::parse("[1]"));
    EXPECT_FALSE(AppConfig::parse("3"));
    EXPECT_FALSE(AppConfig::parse("{"));
    auto divergence = [](const char* v) {
        return AppConfig::parse(std::string(R"({"refineDivergenceLimit": )") + v + "}")->refineDivergenceLimit;
    };
    EXPECT_FLOAT_EQ(divergence("0"), 0.25f);
    EXPECT_FLOAT_EQ(divergence("1"), 1.0f);
    EXPECT_FLOAT_EQ(divergence("1.5"), 0.25f);
    EXPECT_FLOAT_EQ(divergence("-0.2"), 0.25f);
    auto sameScene = [](const char* v) {
        return AppConfig::parse(std::string(R"({"sameSceneStructureLimit": )") + v + "}")->sameSceneStructureLimit;
    };
    EXPECT_FLOAT_EQ(sameScene("0"), 0.0f);
    EXPECT_FLOAT_EQ(sameScene("1"), 1.0f);
    EXPECT_FLOAT_EQ(sameScene("2"), 0.1f);
    EXPECT_TRUE(AppConfig::parse(R"({"detailTransferEnabled": "no"})")->detailTransferEnabled);
    EXPECT_FALSE(AppConfig::parse(R"({"maxInFlightJobs": 2.5})")->maxInFlightJobs);
    EXPECT_EQ(AppConfig::parse(R"({"maxInFlightJobs": 3})")->maxInFlightJobs, 3);
    auto full = AppConfig::parse(R"({"proMinimumAppVersion": "2.1", "requireAccountToken": "yes",
        "suggestedGradeEnabled": false, "unknown": 1})");
    EXPECT_EQ(full->minimumAppVersion, "2.1");
    EXPECT_EQ(full->requireAccountToken, "yes");
    EXPECT_FALSE(full->suggestedGradeEnabled);
    EXPECT_NE(*full, AppConfig::defaults());
}

TEST(AppConfig, ComparesVersionsNumberByNumber)
{
    auto needsUpdate = [](const char* minimum, const char* app) {
        AppConfig config;
        config.minimumAppVersion = minimum;
        return config.requiresUpdate(app);
    };
    EXPECT_TRUE(needsUpdate("1.10", "1.9"));
    EXPECT_FALSE(needsUpdate("2", "2.0.0"));
    EXPECT_TRUE(needsUpdate("1.2.1", "1.2"));
    EXPECT_FALSE(needsUpdate("1.2", "1.2.beta"));
    EXPECT_FALSE(needsUpdate("", "0.1"));
    EXPECT_FALSE(needsUpdate("abc", "0.9"));
    EXPECT_TRUE(needsUpdate("1..2", "1.1"));
    EXPECT_FALSE(needsUpdate("1.0", ""));
    // One sign at most: "+-1" is no number and counts as 0, "+1" and "-1" are numbers.
    EXPECT_FALSE(needsUpdate("1.0", "1.+-1"));
    EXPECT_TRUE(needsUpdate("1.+1", "1.0"));
    EXPECT_TRUE(needsUpdate("1.0", "1.-1"));
    EXPECT_FALSE(AppConfig::defaults().requiresUpdate("0.0.1"));
}

TEST(BalanceResponse, RequiresEveryFieldButTheToken)
{
    auto balance =
        BalanceResponse::decode(R"({"balance": 4, "paidCredits": 2, "accessState": "active", "systemSlow": false})");
    ASSERT_TRUE(balance);
    EXPECT_EQ(balance->balance, 4);
    EXPECT_FALSE(balance->accountToken);
    EXPECT_FALSE(BalanceResponse::decode(R"({"balance": 4, "paidCredits": 2, "accessState": "active"})"));
    EXPECT_FALSE(
        BalanceResponse::decode(R"({"balance": "4", "paidCredits": 2, "accessState": "active", "systemSlow": false})"));
    EXPECT_FALSE(BalanceResponse::decode(
        R"({"balance": 1e300, "paidCredits": 2, "accessState": "active", "systemSlow": false})"));
}

TEST(ProProduct, ShowsThePriceOfTheLocalesCurrency)
{
    auto answer = ProProductsResponse::decode(R"({"available": true, "products": [
        {"id": "a", "credits": 10, "label": "10", "price": "$9", "checkoutURL": "u", "prices": {"EUR": "9 €"}},
        {"id": "b", "credits": 50, "label": "50", "price": "$39", "checkoutURL": "u", "provider": "p"}]})");
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->products.size(), 2u);
    EXPECT_EQ(answer->products[0].displayPrice(std::string("EUR")), "9 €");
    EXPECT_EQ(answer->products[0].displayPrice(std::string("USD")), "$9");
    EXPECT_EQ(answer->products[0].displayPrice(std::nullopt), "$9");
    EXPECT_EQ(answer->products[1].displayPrice(std::string("EUR")), "$39");
    EXPECT_EQ(answer->products[1].provider, "p");
    EXPECT_FALSE(ProProductsResponse::decode(R"({"available": true, "products": [{"id": "a"}]})"));
    EXPECT_FALSE(ProProductsResponse::decode(R"({"products": []})"));
    EXPECT_FALSE(ProProductsResponse::decode(R"({"available": true, "products": {}})"));
}

} // namespace
} // namespace oxel
