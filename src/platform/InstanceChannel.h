#pragma once

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace oxel {

// The per-user local socket through which a second start of the application hands its
// arguments (an "oxel:" sign-in callback, later files to open) to the running instance, which
// is the one that listens. Only processes of the same user are heard.
//
// The running instance holds a lock beside the socket for its whole life, so a socket left by a
// crashed instance is replaced, and two instances starting together cannot both listen. It reads
// all its open connections at once, each with 2 s to send its hand-off, so senders that stall
// delay no other start.
class InstanceChannel {
public:
    // Keeps a waiting sender's connection open: the sender ends its wait when the last copy goes.
    using Hold = std::shared_ptr<void>;
    // Runs on the channel's own thread, one hand-off at a time; post to the main executor from
    // there. The sender learns that the hand-off arrived once the handler has returned; a sender
    // that waits for release goes on waiting while any copy of `hold` is kept.
    using Handler = std::function<void(std::vector<std::string> arguments, Hold hold)>;

    enum class Outcome { listening, anotherInstanceListens, failed };
    struct ListenResult {
        Outcome outcome;
        std::unique_ptr<InstanceChannel> channel; // when listening
        std::string error;                        // when failed
    };

    // What a starting process is: the running instance (it listens and handles its own
    // arguments), or a second start whose arguments went to the running one (it should exit).
    // With neither (the socket cannot be made) the process runs alone and says why.
    struct Claim {
        std::unique_ptr<InstanceChannel> channel;
        bool handedOff = false;
        std::string error;
    };

    // `$XDG_RUNTIME_DIR/<app folder>/instance`, else `instance` in the application's cache folder.
    static std::filesystem::path standardPath();

    // What `main` does first: hand `arguments` to a running instance, or become it.
    // With `waitForRelease`, a second start returns only once the running instance let its
    // hand-off go (or ended).
    static Claim claim(const std::filesystem::path& socketPath, const std::vector<std::string>& arguments,
                       Handler handler, bool waitForRelease = false);

    static ListenResult listen(const std::filesystem::path& socketPath, Handler handler);
    // Hands `arguments` to the instance listening on `socketPath`; true once it took them (and,
    // with `waitForRelease`, once it let them go again). Connecting, sending and the instance's
    // acknowledgement together take at most `timeout`.
    static bool handOff(const std::filesystem::path& socketPath, const std::vector<std::string>& arguments,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5), bool waitForRelease = false);

    // Stops listening and removes the socket.
    ~InstanceChannel();
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // The bytes of one hand-off, and their reading (none for anything malformed or too large).
    static std::string encodeHandOff(const std::vector<std::string>& arguments);
    static std::optional<std::vector<std::string>> decodeHandOff(std::string_view bytes);
    // Room for every file a command line can name (a batch of thousands of photos), with the
    // escapes of the encoding.
    static constexpr size_t maxHandOffBytes = 16 * 1024 * 1024;

private:
    struct Reading;

    InstanceChannel(std::filesystem::path path, int listener, int lock, Handler handler);
    void serve();
    void accept(std::deque<Reading>& readings);
    // Reads what has come; true once the connection is done with (answered, refused or failed).
    bool readFrom(Reading& reading);
    void answer(int connection, std::string_view bytes);

    std::filesystem::path path_;
    int listener_;
    int lock_;
    int wakePipe_[2] = {-1, -1};
    Handler handler_;
    std::thread thread_;
};

} // namespace oxel
