#include "backend/BackendErrorCategory.h"
#include "backend/HttpSession.h"
#include "platform/NetworkReach.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace oxel {
namespace {

const auto networkUp = [] { return true; };
const auto networkDown = [] { return false; };

TEST(Offline, AConnectionThatCannotBeMadeWithoutANetworkIsOffline)
{
    EXPECT_EQ(failedConnectionCode(UrlErrorCode::cannotConnectToHost, ECONNREFUSED, false, networkDown),
              UrlErrorCode::notConnectedToInternet);
    EXPECT_EQ(failedConnectionCode(UrlErrorCode::cannotFindHost, 0, false, networkDown),
              UrlErrorCode::notConnectedToInternet);
    EXPECT_EQ(failedConnectionCode(UrlErrorCode::cannotConnectToHost, ENETUNREACH, false, networkUp),
              UrlErrorCode::notConnectedToInternet)
        << "no route to the backend's network";
    EXPECT_EQ(backendErrorCategory(UrlError{UrlErrorCode::notConnectedToInternet, ""}), BackendErrorCategory::offline);
}

TEST(Offline, ARefusedOrUnresolvedBackendOnAWorkingNetworkIsUnreachable)
{
    EXPECT_EQ(failedConnectionCode(UrlErrorCode::cannotConnectToHost, ECONNREFUSED, false, networkUp),
              UrlErrorCode::cannotConnectToHost);
    EXPECT_EQ(failedConnectionCode(UrlErrorCode::cannotFindHost, 0, false, networkUp), UrlErrorCode::cannotFindHost);
    EXPECT_EQ(backendErrorCategory(UrlError{UrlErrorCode::cannotConnectToHost, ""}),
              BackendErrorCategory::backendUnreachable);
}

TEST(Offline, ABackendOnThisComputerNeedsNoNetworkAndOtherFailuresStayAsTheyAre)
{
    bool asked = false;
    auto askedNetwork = [&] {
        asked = true;
        return false;
    };
    EXPECT_EQ(failedConnectionCode(UrlErrorCode::cannotConnectToHost, ENETUNREACH, true, askedNetwork),
              UrlErrorCode::cannotConnectToHost);
    EXPECT_EQ(failedConnectionCode(UrlErrorCode::timedOut, 0, false, askedNetwork), UrlErrorCode::timedOut);
    EXPECT_EQ(failedConnectionCode(UrlErrorCode::networkConnectionLost, 0, false, askedNetwork),
              UrlErrorCode::networkConnectionLost);
    EXPECT_FALSE(asked);
}

TEST(Offline, TellsLoopbackHostsFromOthers)
{
    for (const char* url : {"http://127.0.0.1:8787/jobs", "http://localhost/x", "https://LOCALHOST:99",
                            "http://[::1]:8787/jobs", "http://127.4.5.6", "http://user@127.0.0.1/"})
        EXPECT_TRUE(isLoopbackHost(url)) << url;
    for (const char* url : {"https://api.example.com/jobs", "http://10.0.0.1:8787", "http://127.example.com.evil/",
                            "http://localhost.example.com/", "http://[::2]/", "http://example.com/?127.0.0.1"})
        EXPECT_FALSE(isLoopbackHost(url)) << url;
}

TEST(Offline, AConnectionRefusedOnLoopbackIsReportedAsAnUnreachableBackend)
{
    HttpRequest request;
    request.url = "http://127.0.0.1:1/jobs";
    request.timeout = std::chrono::seconds(5);
    auto answer = HttpSession::shared().send(request);
    ASSERT_FALSE(answer);
    EXPECT_EQ(backendErrorCategory(answer.failure()), BackendErrorCategory::backendUnreachable);
}

} // namespace
} // namespace oxel
