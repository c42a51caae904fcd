#include "library/JobFailure.h"
#include "library/OutcomeBuild.h"

#include "develop/SourceDecoding.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

TEST(JobTexts, NarratesTheKnownStatusesExactlyAndPassesOthersThrough)
{
    EXPECT_EQ(statusNarration("queued"), "getting ready");
    EXPECT_EQ(statusNarration("analysing"), "reading the light");
    EXPECT_EQ(statusNarration("generating"), "developing");
    EXPECT_EQ(statusNarration("retrying"), "ran into a delay · trying again");
    EXPECT_EQ(statusNarration("Queued"), "Queued");
    EXPECT_EQ(statusNarration("polishing"), "polishing");
    EXPECT_EQ(statusNarration(""), "");
}

TEST(JobTexts, FailureTextNamesTheCodeAndAddsTheDetailInBrackets)
{
    EXPECT_EQ(failureText(std::nullopt, "x"), "the model gave up · shot not spent (x)");
    EXPECT_EQ(failureText("content_policy", std::nullopt), "outside oxel's image rules · shot not spent");
    EXPECT_EQ(failureText("generation_timeout", ""), "didn't come through in time · shot not spent");
    EXPECT_EQ(failureText("aspect_unsupported", std::nullopt), "too long and thin for oxel to light · shot not spent");
    EXPECT_EQ(failureText("something_new", std::nullopt), "the model gave up · shot not spent");
}

TEST(JobTexts, FailureTextCutsTheDetailAtTwoHundredAndTwentyCharacters)
{
    const std::string base = "the model gave up · shot not spent";
    EXPECT_EQ(failureText(std::nullopt, std::string(300, 'a')), base + " (" + std::string(220, 'a') + ")");
    EXPECT_EQ(failureText(std::nullopt, std::string(220, 'b')), base + " (" + std::string(220, 'b') + ")");
    // Characters, not bytes: an accented letter written with a combining mark counts once.
    std::string accented;
    for (int i = 0; i < 230; ++i) accented += "e\xCC\x81";
    std::string kept;
    for (int i = 0; i < 220; ++i) kept += "e\xCC\x81";
    EXPECT_EQ(failureText(std::nullopt, accented), base + " (" + kept + ")");
}

TEST(JobTexts, EveryFailureSpendsNoShotAndOnlyTheFinalOnesCannotBeRetried)
{
    for (const JobFailure* failure : {&JobFailure::encode, &JobFailure::stale, &JobFailure::staleJob,
                                      &JobFailure::insufficientCredits, &JobFailure::noImage, &JobFailure::decode})
        EXPECT_TRUE(failure->retryable) << failure->message;
    for (const JobFailure* failure :
         {&JobFailure::originalMissing, &JobFailure::blockedPolicy, &JobFailure::updateRequired,
          &JobFailure::aspectUnsupported, &JobFailure::originalWentAway})
        EXPECT_FALSE(failure->retryable) << failure->message;
    EXPECT_FALSE(JobFailure::backendFailed("content_policy", std::nullopt).retryable);
    EXPECT_TRUE(JobFailure::backendFailed(std::nullopt, std::nullopt).retryable);
    EXPECT_EQ(JobFailure::backendFailed(std::nullopt, std::nullopt).code, std::nullopt);
    EXPECT_EQ(JobFailure::submissionFailed("offline", true).phase(),
              (phase::Failed{"submit_offline", "could not reach oxel · shot not spent", true, false}));
    EXPECT_EQ(JobFailure::submissionFailed("unknown", false).message, "something went wrong · shot not spent");
    EXPECT_EQ(JobFailure::fetchFailed("timeout").code, "fetch_timeout");
    EXPECT_EQ(JobFailure::collectedTooLate("delivered").phase(),
              (phase::Failed{"delivered", "this one expired before it was collected", true, false}));
}

TEST(KeptResultBytes, AnalysisIsTheAnswersMemberCompactWithSortedKeys)
{
    auto bytes = analysisJSON(R"({"refinedImage":"x","analysis":{"zeta":1,"alpha":{"b":2,"a":"\/"}}})");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), R"({"alpha":{"a":"/","b":2},"zeta":1})");
    EXPECT_FALSE(analysisJSON(R"({"refinedImage":"x"})"));
    EXPECT_FALSE(analysisJSON("[1,2]"));
    EXPECT_FALSE(analysisJSON("{\"analysis\":"));
    EXPECT_TRUE(analysisJSON(R"({"analysis":null})")) << "a member of any kind is kept";
}

TEST(KeptResultBytes, RenderExtensionFollowsThePNGSignature)
{
    EXPECT_EQ(keptRenderExtension(std::vector<uint8_t>{0x89, 0x50, 0x4E, 0x47, 0x0D}), "png");
    EXPECT_EQ(keptRenderExtension(std::vector<uint8_t>{0x89, 0x50, 0x4E, 0x47}), "png");
    EXPECT_EQ(keptRenderExtension(std::vector<uint8_t>{0x89, 0x50, 0x4E}), "jpg");
    EXPECT_EQ(keptRenderExtension(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE0}), "jpg");
    EXPECT_EQ(keptRenderExtension(std::vector<uint8_t>{}), "jpg");
}

TEST(KeptResultBytes, ThePNGOfARefinedRenderReadsBackPixelForPixel)
{
    auto picture = *Bitmap::allocate(37, 21, PixelFormat::RGBA8);
    for (int64_t y = 0; y < picture.height(); ++y) {
        uint8_t* row = picture.mutableRow(y);
        for (int64_t x = 0; x < picture.width(); ++x) {
            row[x * 4 + 0] = uint8_t(x * 7);
            row[x * 4 + 1] = uint8_t(y * 11);
            row[x * 4 + 2] = uint8_t(x * y);
            row[x * 4 + 3] = 255;
        }
    }
    auto png = pngData(picture);
    ASSERT_TRUE(png);
    EXPECT_EQ(keptRenderExtension(*png), "png");
    auto file = readPictureFile(*png);
    ASSERT_TRUE(file);
    auto decoded = decodeStoredPicture(*png, *file, 0);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->width(), 37);
    ASSERT_EQ(decoded->height(), 21);
    const int channels = channelCount(decoded->format());
    ASSERT_EQ(bytesPerSample(decoded->format()), 1);
    for (int64_t y = 0; y < 21; ++y)
        for (int64_t x = 0; x < 37; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(decoded->row(y)[x * channels + c], picture.row(y)[x * 4 + c]) << x << "," << y;
}

} // namespace
} // namespace oxel
