#include "backend/BackendErrorCategory.h"
#include "backend/Utf8Text.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

TEST(BackendError, DescribesEveryCaseWithItsText)
{
    EXPECT_EQ(BackendError::httpError(404, "gone").errorDescription(), "server error 404: gone");
    EXPECT_EQ(BackendError::decodingFailed("no jobId in response").errorDescription(),
              "could not read the server's answer: no jobId in response");
    EXPECT_EQ(BackendError::imageEncodingFailed().errorDescription(), "could not encode the image for upload");
    EXPECT_EQ(BackendError::insufficientCredits().errorDescription(), "no shots left in the roll");
    EXPECT_EQ(BackendError::updateRequired().errorDescription(), "this version of oxel pro needs updating");
    EXPECT_EQ(BackendError::aspectUnsupported().errorDescription(),
              "too long and thin for oxel to light · no shot used");
    EXPECT_EQ(BackendError::tooManyInFlight().errorDescription(), "the server asked us to wait");
    EXPECT_EQ(BackendError::notSignedIn().errorDescription(), "not signed in");
}

TEST(BackendError, ShowsAtMostTwoHundredCharactersOfTheBody)
{
    std::string body(500, 'x');
    EXPECT_EQ(BackendError::httpError(503, body).errorDescription(), "server error 503: " + std::string(200, 'x'));
}

TEST(BackendError, CountsUserPerceivedCharactersNotBytes)
{
    // "é" written as e + combining acute is one character of three bytes; a flag is two code points.
    std::string accented = "e\xCC\x81";
    std::string flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";
    std::string body;
    for (int i = 0; i < 150; ++i) body += accented + flag;
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += accented + flag;
    EXPECT_EQ(BackendError::httpError(500, body).errorDescription(), "server error 500: " + expected);
}

TEST(Utf8Text, KeepsValidTextAndRefusesOrRepairsInvalidBytes)
{
    EXPECT_EQ(utf8OrEmpty("plain · text"), "plain · text");
    EXPECT_EQ(utf8OrEmpty("bad \xFF byte"), "");
    EXPECT_EQ(utf8OrEmpty("\xC0\xAF"), "");     // an overlong slash
    EXPECT_EQ(utf8OrEmpty("\xED\xA0\x80"), ""); // a surrogate
    EXPECT_EQ(utf8Repaired("Mac\xFF"
                           "Book"),
              "Mac\xEF\xBF\xBD"
              "Book");
    EXPECT_EQ(firstCharacters("ab\r\ncd", 3), "ab\r\n");
}

struct CategoryCase {
    BackendFailure failure;
    BackendErrorCategory expected;
};

TEST(BackendErrorCategory, SortsEveryKindOfFailure)
{
    std::vector<CategoryCase> cases = {
        {BackendError::httpError(502, ""), BackendErrorCategory::backendUnreachable},
        {BackendError::httpError(503, ""), BackendErrorCategory::backendUnreachable},
        {BackendError::httpError(504, ""), BackendErrorCategory::backendUnreachable},
        {BackendError::httpError(500, ""), BackendErrorCategory::hardServerFailure},
        {BackendError::httpError(501, ""), BackendErrorCategory::hardServerFailure},
        {BackendError::httpError(505, ""), BackendErrorCategory::hardServerFailure},
        {BackendError::httpError(400, ""), BackendErrorCategory::invalidRequest},
        {BackendError::httpError(404, ""), BackendErrorCategory::invalidRequest},
        {BackendError::httpError(426, ""), BackendErrorCategory::invalidRequest},
        {BackendError::httpError(399, ""), BackendErrorCategory::unknown},
        {BackendError::httpError(204, ""), BackendErrorCategory::unknown},
        {BackendError::insufficientCredits(), BackendErrorCategory::unknown},
        {BackendError::updateRequired(), BackendErrorCategory::unknown},
        {BackendError::decodingFailed("x"), BackendErrorCategory::unknown},
        {DecodingError{"job_id", "no value"}, BackendErrorCategory::unknown},
        {Cancellation{}, BackendErrorCategory::userCancelled},
        {OtherError{"any.domain", -999, "stopped"}, BackendErrorCategory::userCancelled},
        {OtherError{"any.domain", 7, "other"}, BackendErrorCategory::unknown},
        {UrlError{UrlErrorCode::cancelled, ""}, BackendErrorCategory::userCancelled},
        {UrlError{UrlErrorCode::notConnectedToInternet, ""}, BackendErrorCategory::offline},
        {UrlError{UrlErrorCode::dataNotAllowed, ""}, BackendErrorCategory::offline},
        {UrlError{UrlErrorCode::timedOut, ""}, BackendErrorCategory::timeout},
        {UrlError{UrlErrorCode::cannotConnectToHost, ""}, BackendErrorCategory::backendUnreachable},
        {UrlError{UrlErrorCode::cannotFindHost, ""}, BackendErrorCategory::backendUnreachable},
        {UrlError{UrlErrorCode::networkConnectionLost, ""}, BackendErrorCategory::backendUnreachable},
        {UrlError{UrlErrorCode::dnsLookupFailed, ""}, BackendErrorCategory::backendUnreachable},
        {UrlError{UrlErrorCode::secureConnectionFailed, ""}, BackendErrorCategory::backendUnreachable},
        {UrlError{UrlErrorCode::resourceUnavailable, ""}, BackendErrorCategory::backendUnreachable},
        {UrlError{UrlErrorCode::badServerResponse, ""}, BackendErrorCategory::unknown},
        {UrlError{UrlErrorCode::dataLengthExceedsMaximum, ""}, BackendErrorCategory::unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(backendErrorCategory(c.failure), c.expected) << describe(c.failure);
}

TEST(BackendErrorCategory, NamesAreTheCaseNamesInTheirOrder)
{
    EXPECT_EQ(name(BackendErrorCategory::backendUnreachable), "backendUnreachable");
    EXPECT_EQ(name(BackendErrorCategory::hardServerFailure), "hardServerFailure");
    EXPECT_LT(int(BackendErrorCategory::backendUnreachable), 3);
    EXPECT_GE(int(BackendErrorCategory::upstreamModel), 3);
}

} // namespace
} // namespace oxel
