#include "backend/HttpSession.h"

#include "platform/NetworkReach.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <strings.h>
#include <thread>

namespace oxel {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::atomic<double> timeScaleFactor{1.0};
std::atomic<size_t> answerLimit{HttpSession::defaultMaxAnswerBytes};

// How often a waiting transfer looks at its stop token and its idle clock.
constexpr milliseconds pollInterval{10};

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

// One multi handle per thread keeps that thread's connections alive between requests.
struct ThreadMulti {
    CURLM* handle;
    ThreadMulti() : handle(curl_multi_init()) {}
    ~ThreadMulti() { curl_multi_cleanup(handle); }
};

CURLM* threadMulti()
{
    static CurlGlobal global;
    thread_local ThreadMulti multi;
    return multi.handle;
}

struct Transfer {
    std::string body;
    bool tooLarge = false;
    size_t limit = 0;
    std::atomic<curl_off_t> bytesMoved{0};
    std::stop_token stop;
    bool loopbackHost = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* context)
{
    auto* transfer = static_cast<Transfer*>(context);
    size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->limit) {
        transfer->tooLarge = true;
        return 0;
    }
    transfer->body.append(data, bytes);
    return bytes;
}

int transferProgress(void* context, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
{
    auto* transfer = static_cast<Transfer*>(context);
    transfer->bytesMoved = downloaded + uploaded;
    return transfer->stop.stop_requested() ? 1 : 0;
}

UrlErrorCode urlErrorCode(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return UrlErrorCode::cannotFindHost;
    case CURLE_COULDNT_CONNECT: return UrlErrorCode::cannotConnectToHost;
    case CURLE_OPERATION_TIMEDOUT: return UrlErrorCode::timedOut;
    case CURLE_ABORTED_BY_CALLBACK: return UrlErrorCode::cancelled;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH: return UrlErrorCode::secureConnectionFailed;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return UrlErrorCode::networkConnectionLost;
    case CURLE_URL_MALFORMAT: return UrlErrorCode::badURL;
    case CURLE_UNSUPPORTED_PROTOCOL: return UrlErrorCode::unsupportedURL;
    case CURLE_WEIRD_SERVER_REPLY: return UrlErrorCode::badServerResponse;
    case CURLE_TOO_MANY_REDIRECTS: return UrlErrorCode::resourceUnavailable;
    default: return UrlErrorCode::unknown;
    }
}

curl_slist* headerList(const HttpRequest& request)
{
    curl_slist* list = nullptr;
    for (const auto& [name, value] : request.headers) list = curl_slist_append(list, (name + ": " + value).c_str());
    // A large upload must not wait for a "100 Continue" that some servers never send.
    list = curl_slist_append(list, "Expect:");
    return list;
}

void configure(CURL* easy, const HttpRequest& request, curl_slist* headers, Transfer& transfer, milliseconds idle,
               milliseconds resource)
{
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.directOnly ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // A proxy from the environment never stands between this machine and itself.
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    if (request.directOnly) curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(std::max<int64_t>(1, idle.count())));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(std::max<int64_t>(1, resource.count())));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, transferProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    if (request.body) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body->size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body->data());
    }
    if (request.method == "GET" && !request.body)
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    else if (request.method != "POST" || !request.body)
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
}

enum class Ending { finished, cancelled, idle };

// Drives one transfer to its end, waking for the stop token and for the idle clock.
Ending drive(CURLM* multi, Transfer& transfer, milliseconds idle, CURLcode& code)
{
    std::stop_callback wake(transfer.stop, [multi] { curl_multi_wakeup(multi); });
    auto lastActivity = Clock::now();
    curl_off_t lastBytes = 0;
    while (true) {
        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                code = message->data.result;
                return Ending::finished;
            }
        }
        if (transfer.stop.stop_requested()) return Ending::cancelled;
        if (!running) return Ending::finished;
        auto now = Clock::now();
        if (transfer.bytesMoved != lastBytes) {
            lastBytes = transfer.bytesMoved;
            lastActivity = now;
        } else if (now - lastActivity >= idle) {
            return Ending::idle;
        }
        curl_multi_poll(multi, nullptr, 0, int(pollInterval.count()), nullptr);
    }
}

BackendResult<HttpResponse> outcome(CURL* easy, Ending ending, CURLcode code, Transfer& transfer)
{
    if (ending == Ending::cancelled || transfer.stop.stop_requested())
        return UrlError{UrlErrorCode::cancelled, "cancelled"};
    if (ending == Ending::idle) return UrlError{UrlErrorCode::timedOut, "no data moved within the time limit"};
    if (transfer.tooLarge) return UrlError{UrlErrorCode::dataLengthExceedsMaximum, "the answer is larger than allowed"};
    if (code != CURLE_OK) {
        long osErrno = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
        return UrlError{
            failedConnectionCode(urlErrorCode(code), int(osErrno), transfer.loopbackHost, hasNetworkBeyondLoopback),
            curl_easy_strerror(code)};
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    return HttpResponse{status, std::move(transfer.body)};
}

// The connection was lost before any byte of an answer arrived, and the request may go once more:
// the server cannot have acted on it (the connection was a kept-alive one it had already given up
// on, or the request never reached it whole), or repeating it changes nothing (a GET).
bool mayRepeatAfterLoss(CURL* easy, CURLcode code, const Transfer& transfer, const HttpRequest& request)
{
    if (code != CURLE_SEND_ERROR && code != CURLE_RECV_ERROR && code != CURLE_GOT_NOTHING) return false;
    long connectsMade = 0;
    long headerBytes = 0;
    curl_off_t uploaded = 0;
    curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &connectsMade);
    curl_easy_getinfo(easy, CURLINFO_HEADER_SIZE, &headerBytes);
    curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &uploaded);
    if (headerBytes != 0 || !transfer.body.empty()) return false;
    const bool reused = connectsMade == 0;
    const bool sentWhole = !request.body || uploaded >= curl_off_t(request.body->size());
    const bool repeatable = request.method == "GET" && !request.body;
    return reused || !sentWhole || repeatable;
}

// Background sending for fire-and-forget requests; the thread is stopped at process exit.
class ForgetQueue {
public:
    void push(HttpRequest request)
    {
        std::lock_guard lock(mutex_);
        if (!worker_.joinable()) worker_ = std::jthread([this](std::stop_token stop) { run(stop); });
        pending_.push_back(std::move(request));
        ready_.notify_one();
    }

    ~ForgetQueue()
    {
        if (worker_.joinable()) {
            worker_.request_stop();
            ready_.notify_all();
        }
    }

private:
    void run(std::stop_token stop)
    {
        while (true) {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, stop, [this] { return !pending_.empty(); });
            if (stop.stop_requested()) return;
            HttpRequest request = std::move(pending_.front());
            pending_.pop_front();
            lock.unlock();
            (void)HttpSession::shared().send(request, stop);
        }
    }

    std::mutex mutex_;
    std::condition_variable_any ready_;
    std::deque<HttpRequest> pending_;
    std::jthread worker_;
};

} // namespace

UrlErrorCode failedConnectionCode(UrlErrorCode code, int osErrno, bool loopbackHost,
                                  const std::function<bool()>& networkUp)
{
    const bool connecting = code == UrlErrorCode::cannotConnectToHost || code == UrlErrorCode::cannotFindHost ||
                            code == UrlErrorCode::dnsLookupFailed;
    if (!connecting || loopbackHost) return code;
    if (osErrno == ENETUNREACH || !networkUp()) return UrlErrorCode::notConnectedToInternet;
    return code;
}

void HttpRequest::setHeader(std::string_view name, std::string value)
{
    for (auto& [existing, old] : headers) {
        if (strcasecmp(existing.c_str(), std::string(name).c_str()) == 0) {
            old = std::move(value);
            return;
        }
    }
    headers.emplace_back(std::string(name), std::move(value));
}

std::optional<std::string> HttpRequest::header(std::string_view name) const
{
    for (const auto& [existing, value] : headers)
        if (strcasecmp(existing.c_str(), std::string(name).c_str()) == 0) return value;
    return std::nullopt;
}

const HttpSession& HttpSession::backend()
{
    static const HttpSession session(std::chrono::seconds(600));
    return session;
}

const HttpSession& HttpSession::shared()
{
    static const HttpSession session(std::chrono::hours(24 * 7));
    return session;
}

HttpSession::HttpSession(milliseconds resourceTimeout) : resourceTimeout_(resourceTimeout)
{}

BackendResult<HttpResponse> HttpSession::send(const HttpRequest& request, std::stop_token stop) const
{
    if (stop.stop_requested()) return UrlError{UrlErrorCode::cancelled, "cancelled"};
    bool lostBeforeAnswer = false;
    auto result = attempt(request, stop, false, lostBeforeAnswer);
    // A kept-alive connection the server had already given up on, or one it dropped while the
    // request was still going out (a busy server refusing or resetting new connections), fails
    // before anything comes back, and the server never saw the request whole: send it once more on
    // a new connection; a GET, which changes nothing, goes once more too. A request that went out
    // whole on a new connection may have been acted on, and once any byte of an answer has come,
    // so may any: those are not repeated.
    if (lostBeforeAnswer) result = attempt(request, stop, true, lostBeforeAnswer);
    return result;
}

BackendResult<HttpResponse> HttpSession::attempt(const HttpRequest& request, std::stop_token stop, bool freshConnection,
                                                 bool& lostBeforeAnswer) const
{
    lostBeforeAnswer = false;
    CURLM* multi = threadMulti();
    CURL* easy = curl_easy_init();
    if (!multi || !easy) {
        if (easy) curl_easy_cleanup(easy);
        return UrlError{UrlErrorCode::unknown, "could not start a transfer"};
    }
    Transfer transfer;
    transfer.stop = stop;
    transfer.limit = request.maxAnswerBytes.value_or(maxAnswerBytes());
    transfer.loopbackHost = isLoopbackHost(request.url);
    milliseconds idle = scaled(request.timeout);
    curl_slist* headers = headerList(request);
    configure(easy, request, headers, transfer, idle, scaled(resourceTimeout_));
    if (freshConnection) curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    CURLcode code = CURLE_OK;
    Ending ending = Ending::finished;
    if (curl_multi_add_handle(multi, easy) == CURLM_OK) {
        ending = drive(multi, transfer, idle, code);
        curl_multi_remove_handle(multi, easy);
    } else {
        code = CURLE_FAILED_INIT;
    }
    lostBeforeAnswer = ending == Ending::finished && mayRepeatAfterLoss(easy, code, transfer, request);
    auto result = outcome(easy, ending, code, transfer);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    return result;
}

void HttpSession::setTimeScale(double scale)
{
    timeScaleFactor = scale;
}
double HttpSession::timeScale()
{
    return timeScaleFactor;
}

milliseconds HttpSession::scaled(milliseconds duration)
{
    return milliseconds(int64_t(double(duration.count()) * timeScaleFactor.load()));
}

void HttpSession::setMaxAnswerBytes(size_t bytes)
{
    answerLimit = bytes;
}
size_t HttpSession::maxAnswerBytes()
{
    return answerLimit;
}

void sendAndForget(HttpRequest request)
{
    static ForgetQueue queue;
    queue.push(std::move(request));
}

} // namespace oxel
