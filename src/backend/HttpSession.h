#pragma once

#include "backend/BackendFailure.h"

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace oxel {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<std::string> body;
    // An idle limit: the connection must be made, and bytes must keep moving, within this time.
    std::chrono::milliseconds timeout = std::chrono::seconds(60);
    // The request goes to the URL's own host and nowhere else: through no proxy, and a redirect
    // is answered as it is rather than followed.
    bool directOnly = false;
    // Refuses a longer answer as `dataLengthExceedsMaximum`; the process's limit when absent.
    std::optional<size_t> maxAnswerBytes;

    void setHeader(std::string_view name, std::string value);
    std::optional<std::string> header(std::string_view name) const;
};

struct HttpResponse {
    long status = 0;
    std::string body;
};

// A way of sending HTTP requests: blocking, meant for worker threads, each request cancellable
// through a stop token. Connections are kept alive per calling thread.
// The code of a connection that could not be made: "not connected to the internet" when the host
// is not this computer and the system has no route to it or no network beyond loopback is up
// (`networkUp` is asked only then); otherwise the code as it is.
UrlErrorCode failedConnectionCode(UrlErrorCode code, int osErrno, bool loopbackHost,
                                  const std::function<bool()>& networkUp);

class HttpSession {
public:
    // The session of the job, balance and product requests: every request also ends after 600 s.
    static const HttpSession& backend();
    // The session of everything else (sign-in exchanges, configuration, funnel events).
    static const HttpSession& shared();

    explicit HttpSession(std::chrono::milliseconds resourceTimeout);

    // Sends the request and waits for the whole answer. Transport failures come back as
    // `UrlError` (timeouts as `timedOut`), a stop request as `UrlErrorCode::cancelled`.
    BackendResult<HttpResponse> send(const HttpRequest& request, std::stop_token stop = {}) const;

    // Every time limit of the process (request timeouts, resource limits, the waits between
    // delivery attempts) is multiplied by this factor; tests shrink it instead of waiting.
    static void setTimeScale(double scale);
    static double timeScale();
    static std::chrono::milliseconds scaled(std::chrono::milliseconds duration);

    // Answers longer than this are refused as `dataLengthExceedsMaximum`. The default leaves room
    // for a result's two pictures many times over.
    static constexpr size_t defaultMaxAnswerBytes = size_t(64) << 20;
    static void setMaxAnswerBytes(size_t bytes);
    static size_t maxAnswerBytes();

private:
    BackendResult<HttpResponse> attempt(const HttpRequest& request, std::stop_token stop, bool freshConnection,
                                        bool& lostBeforeAnswer) const;

    std::chrono::milliseconds resourceTimeout_;
};

// Sends the request on the shared session from a background thread and forgets it: the answer and
// any failure are dropped. Returns at once.
void sendAndForget(HttpRequest request);

} // namespace oxel
