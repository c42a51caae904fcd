#include "backend/HttpSession.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace oxel::testing {
namespace {

// What the scripted server does with one request on a connection: answer it and keep the
// connection, or end the connection after writing what it was given.
struct Turn {
    std::string reply;
    bool thenClose = false;
    // Resets rather than closes, as a server that dropped a kept-alive connection does.
    bool reset = false;
    // Ends the turn as soon as the headers are in, with the body still coming.
    bool headersOnly = false;
};

// A loopback server that plays a script of connections, each a list of turns, and counts the
// requests it read.
class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::vector<Turn>> connections) : script_(std::move(connections))
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        socklen_t length = sizeof(address);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        listen(listener_, 8);
        thread_ = std::thread([this] { serve(); });
    }

    ~ScriptedServer()
    {
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/jobs"; }
    int requestsRead() const { return requests_; }

private:
    void serve()
    {
        for (const auto& turns : script_) {
            int connection = accept(listener_, nullptr, nullptr);
            if (connection < 0) return;
            for (const auto& turn : turns) {
                if (!readRequest(connection, !turn.headersOnly)) break;
                ++requests_;
                send(connection, turn.reply.data(), turn.reply.size(), MSG_NOSIGNAL);
                if (turn.reset) {
                    linger abort{1, 0};
                    setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
                }
                if (turn.thenClose || turn.reset) break;
            }
            close(connection);
        }
    }

    // Reads one request with its body of Content-Length bytes.
    static bool readRequest(int connection, bool withBody)
    {
        std::string received;
        char chunk[4096];
        size_t headerEnd = std::string::npos;
        while (headerEnd == std::string::npos) {
            ssize_t got = recv(connection, chunk, sizeof(chunk), 0);
            if (got <= 0) return false;
            received.append(chunk, size_t(got));
            headerEnd = received.find("\r\n\r\n");
        }
        if (!withBody) return true;
        size_t bodyLength = 0;
        if (auto at = received.find("Content-Length: "); at != std::string::npos)
            bodyLength = std::stoul(received.substr(at + 16));
        while (received.size() < headerEnd + 4 + bodyLength) {
            ssize_t got = recv(connection, chunk, sizeof(chunk), 0);
            if (got <= 0) return false;
            received.append(chunk, size_t(got));
        }
        return true;
    }

    std::vector<std::vector<Turn>> script_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> requests_{0};
    std::thread thread_;
};

const std::string okAnswer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: keep-alive\r\n\r\nok";

HttpRequest post(const std::string& url, size_t bodyBytes)
{
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.body = std::string(bodyBytes, 'p');
    request.setHeader("Content-Type", "application/json");
    return request;
}

// Each case runs on a thread of its own, so the first request opens a connection that the second
// one reuses.
BackendResult<HttpResponse> sendTwice(const std::string& url, size_t bodyBytes = 64)
{
    BackendResult<HttpResponse> second = UrlError{UrlErrorCode::unknown, "not sent"};
    std::thread([&] {
        HttpSession session(std::chrono::seconds(30));
        auto first = session.send(post(url, bodyBytes));
        EXPECT_TRUE(first) << "the first request should be answered";
        second = session.send(post(url, bodyBytes));
    }).join();
    return second;
}

TEST(ReusedConnection, APostOnAConnectionTheServerDroppedIsSentOnceMoreOnAFreshOne)
{
    for (bool reset : {false, true}) {
        ScriptedServer server({{{okAnswer}, {"", !reset, reset}}, {{okAnswer}}});
        auto second = sendTwice(server.url());
        ASSERT_TRUE(second) << (reset ? "reset: " : "closed: ") << describe(second.failure());
        EXPECT_EQ(second->body, "ok");
        EXPECT_EQ(server.requestsRead(), 3);
    }
}

TEST(ReusedConnection, AnUploadCutOffBeforeAnyAnswerIsSentOnceMoreOnAFreshOne)
{
    // A picture's worth of body, reset while it is still being sent.
    ScriptedServer server({{{okAnswer}, {"", false, true, true}}, {{okAnswer}}});
    auto second = sendTwice(server.url(), size_t(8) << 20);
    ASSERT_TRUE(second) << describe(second.failure());
    EXPECT_EQ(server.requestsRead(), 3);
}

TEST(ReusedConnection, AnAnswerThatStartedIsNeverSentAgain)
{
    std::string cutShort = "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n{\"jobId\":";
    ScriptedServer server({{{okAnswer}, {cutShort, true}}, {{okAnswer}}});
    auto second = sendTwice(server.url());
    ASSERT_FALSE(second);
    const auto* error = std::get_if<UrlError>(&second.failure());
    ASSERT_NE(error, nullptr) << describe(second.failure());
    EXPECT_EQ(error->code, UrlErrorCode::networkConnectionLost);
    EXPECT_EQ(server.requestsRead(), 2);
}

// One request on a connection of its own, on a thread of its own.
BackendResult<HttpResponse> sendOnce(const HttpRequest& request)
{
    BackendResult<HttpResponse> answer = UrlError{UrlErrorCode::unknown, "not sent"};
    std::thread([&] { answer = HttpSession(std::chrono::seconds(30)).send(request); }).join();
    return answer;
}

TEST(FreshConnection, AnUploadCutOffBeforeTheServerHadItWholeIsSentOnceMore)
{
    ScriptedServer server({{{"", false, true, true}}, {{okAnswer}}});
    auto answer = sendOnce(post(server.url(), size_t(8) << 20));
    ASSERT_TRUE(answer) << describe(answer.failure());
    EXPECT_EQ(answer->body, "ok");
    EXPECT_EQ(server.requestsRead(), 2);
}

TEST(FreshConnection, AGetLostBeforeItsAnswerIsSentOnceMoreAndAWholePostIsNot)
{
    ScriptedServer getting({{{"", true}}, {{okAnswer}}});
    HttpRequest get;
    get.url = getting.url();
    auto answer = sendOnce(get);
    ASSERT_TRUE(answer) << describe(answer.failure());
    EXPECT_EQ(getting.requestsRead(), 2);

    // The server read the whole submission and may have acted on it: it is not sent again.
    ScriptedServer posting({{{"", true}}, {{okAnswer}}});
    auto lost = sendOnce(post(posting.url(), 64));
    ASSERT_FALSE(lost);
    EXPECT_EQ(std::get<UrlError>(lost.failure()).code, UrlErrorCode::networkConnectionLost);
    EXPECT_EQ(posting.requestsRead(), 1);
}

} // namespace
} // namespace oxel::testing
