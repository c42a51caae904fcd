#include "localbackend/LoopbackServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace oxel::testing {
namespace {

using namespace std::chrono_literals;

int connectTo(int port)
{
    int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(sock);
        return -1;
    }
    return sock;
}

// True once the server has closed its end: a read returns nothing or the connection was reset.
bool closedByServer(int sock)
{
    pollfd entry{sock, POLLIN, 0};
    if (poll(&entry, 1, 0) <= 0) return false;
    char byte;
    return recv(sock, &byte, 1, MSG_DONTWAIT) <= 0;
}

class RequestDeadline : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.http.setRequestDeadline(300ms);
        server.http.Get("/quick", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("quick", "text/plain");
        });
        server.http.Get("/slow", [this](const httplib::Request&, httplib::Response& response) {
            server.hold(800ms);
            response.set_content("slow", "text/plain");
        });
        ASSERT_TRUE(server.start(0));
    }

    local::LoopbackServer server;
};

TEST_F(RequestDeadline, ConnectionTricklingHeaderBytesIsCutOffWhileOthersAreServed)
{
    int trickling = connectTo(server.port());
    ASSERT_GE(trickling, 0);
    std::string request = "GET /quick HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Padding: ";
    send(trickling, request.data(), request.size(), MSG_NOSIGNAL);

    bool cutOff = false;
    for (int step = 0; step < 60 && !cutOff; ++step) {
        // One byte every 50 ms: each read of the server's finishes well within its per-read timeout.
        if (send(trickling, "x", 1, MSG_NOSIGNAL) != 1) cutOff = true;
        std::this_thread::sleep_for(50ms);
        cutOff = cutOff || closedByServer(trickling);
    }
    close(trickling);
    EXPECT_TRUE(cutOff) << "a trickling client kept its serving thread for 3 s";

    httplib::Client client("127.0.0.1", server.port());
    auto answer = client.Get("/quick");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->body, "quick");
}

TEST_F(RequestDeadline, HandlersAndKeptAliveConnectionsAreNotHurried)
{
    httplib::Client client("127.0.0.1", server.port());
    client.set_keep_alive(true);
    auto slow = client.Get("/slow");
    ASSERT_TRUE(slow);
    EXPECT_EQ(slow->body, "slow");

    // A pause within the deadline on the connection that served the slow answer: its clock starts
    // again after each answer, so the time the handler took counts for nothing.
    std::this_thread::sleep_for(200ms);
    auto quick = client.Get("/quick");
    ASSERT_TRUE(quick);
    EXPECT_EQ(quick->body, "quick");
}

} // namespace
} // namespace oxel::testing
