#include "platform/InstanceChannel.h"

#include "platform/AppFolders.h"
#include "platform/Diagnostics.h"
#include "platform/ExactText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace oxel {

namespace {

constexpr std::string_view acknowledgement = "ok\n";
// How long a sender has to send its whole hand-off, and how many senders are read at once.
constexpr std::chrono::milliseconds readDeadline{2000};
constexpr size_t maxReadings = 64;

std::string errnoText(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

std::optional<sockaddr_un> socketAddress(const std::filesystem::path& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof(address.sun_path)) return std::nullopt;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

// Why `folder` is not a folder of this user's (another user may have made it first, under a
// shared /tmp), or nothing.
std::optional<std::string> foreignFolder(const std::filesystem::path& folder)
{
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return errnoText("cannot inspect " + folder.string());
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) return folder.string() + " is not a folder of this user";
    return std::nullopt;
}

// A folder only this user can enter: made when missing, refused when someone else could plant
// a socket in it.
std::optional<std::string> preparePrivateFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return "cannot create " + folder.string() + ": " + error.message();
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return errnoText("cannot inspect " + folder.string());
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) return folder.string() + " is not a folder of this user";
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
        return errnoText("cannot make " + folder.string() + " private");
    return std::nullopt;
}

bool peerIsThisUser(int connection)
{
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    return ::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           credentials.uid == ::geteuid();
}

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds timeLeft(Clock::time_point deadline)
{
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

// Waits for `events` on the descriptor until the deadline; false when it ended first or failed.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd waiting{fd, events, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(timeLeft(deadline).count()));
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

// Reads exactly `count` bytes of a non-blocking descriptor, or until the peer closes; none when
// the deadline ends first.
std::optional<std::string> readUpTo(int fd, size_t count, Clock::time_point deadline)
{
    std::string bytes;
    char buffer[64];
    while (bytes.size() < count) {
        const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (got > 0) {
            bytes.append(buffer, static_cast<size_t>(got));
            continue;
        }
        if (got == 0) break;
        if (errno == EINTR) continue;
        if (errno != EAGAIN || !waitFor(fd, POLLIN, deadline)) return std::nullopt;
    }
    return bytes;
}

// Writes all of the bytes to a non-blocking descriptor before the deadline.
bool writeBefore(int fd, std::string_view bytes, Clock::time_point deadline)
{
    while (!bytes.empty()) {
        const ssize_t written = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written > 0) {
            bytes.remove_prefix(static_cast<size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written == 0 || errno != EAGAIN || !waitFor(fd, POLLOUT, deadline)) return false;
    }
    return true;
}

// Connects a non-blocking socket before the deadline. A listener whose queue is full makes a local
// connect fail at once rather than wait, so it is asked again until the deadline.
bool connectBefore(int fd, const sockaddr_un& address, Clock::time_point deadline)
{
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EAGAIN || Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::min(std::chrono::milliseconds(10), timeLeft(deadline)));
    }
}

void setBlocking(int fd, bool blocking)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// Blocks until the other end closes the connection (or it fails).
void waitForClose(int fd)
{
    char buffer[64];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count == 0 || (count < 0 && errno != EINTR)) return;
    }
}

struct FileDescriptor {
    int fd = -1;

    FileDescriptor(int descriptor) : fd(descriptor) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            if (fd >= 0) ::close(fd);
            fd = other.release();
        }
        return *this;
    }
    ~FileDescriptor()
    {
        if (fd >= 0) ::close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

} // namespace

std::filesystem::path InstanceChannel::standardPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/') return std::filesystem::path(runtime) / appFolderName() / "instance";
    // Never a shared folder such as /tmp, where another user could make the folder first.
    return cacheDirectory() / "instance";
}

std::string InstanceChannel::encodeHandOff(const std::vector<std::string>& arguments)
{
    // Arguments that are not UTF-8 (file names from other systems) go readable under "arguments",
    // for an instance of an earlier version, and all of them exactly under "argumentBytes".
    Json readable = Json::array(), exact = Json::array();
    bool allUtf8 = true;
    for (const auto& argument : arguments) {
        readable.push_back(readableText(argument));
        exact.push_back(hexDigits(argument));
        allUtf8 = allUtf8 && readable.back() == argument;
    }
    Json message = {{"arguments", std::move(readable)}};
    if (!allUtf8) message["argumentBytes"] = std::move(exact);
    return message.dump();
}

std::optional<std::vector<std::string>> InstanceChannel::decodeHandOff(std::string_view bytes)
{
    if (bytes.size() > maxHandOffBytes) return std::nullopt;
    const auto message = parseJson(bytes);
    if (!message || !message->is_object()) return std::nullopt;
    const auto found = message->find("arguments");
    if (found == message->end() || !found->is_array()) return std::nullopt;
    std::vector<std::string> arguments;
    for (const auto& argument : *found) {
        if (!argument.is_string()) return std::nullopt;
        arguments.push_back(argument.get<std::string>());
    }
    const auto exact = message->find("argumentBytes");
    if (exact == message->end()) return arguments;
    if (!exact->is_array() || exact->size() != arguments.size()) return std::nullopt;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const auto bytes =
            (*exact)[i].is_string() ? bytesOfHexDigits((*exact)[i].get_ref<const std::string&>()) : std::nullopt;
        if (!bytes) return std::nullopt;
        arguments[i] = *bytes;
    }
    return arguments;
}

InstanceChannel::ListenResult InstanceChannel::listen(const std::filesystem::path& socketPath, Handler handler)
{
    const auto fail = [](std::string error) { return ListenResult{Outcome::failed, nullptr, std::move(error)}; };
    if (auto error = preparePrivateFolder(socketPath.parent_path())) return fail(*error);
    const auto address = socketAddress(socketPath);
    if (!address) return fail("socket path too long: " + socketPath.string());

    const std::string lockPath = socketPath.string() + ".lock";
    FileDescriptor lock{::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
    if (lock.fd < 0) return fail(errnoText("cannot open " + lockPath));
    if (::flock(lock.fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) return {Outcome::anotherInstanceListens, nullptr, {}};
        return fail(errnoText("cannot lock " + lockPath));
    }

    ::unlink(socketPath.c_str()); // left behind by an instance that ended without cleaning up
    FileDescriptor listener{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (listener.fd < 0) return fail(errnoText("cannot create a socket"));
    if (::bind(listener.fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0)
        return fail(errnoText("cannot bind " + socketPath.string()));
    ::chmod(socketPath.c_str(), 0600);
    if (::listen(listener.fd, 16) != 0) return fail(errnoText("cannot listen on " + socketPath.string()));

    std::unique_ptr<InstanceChannel> channel(
        new InstanceChannel(socketPath, listener.release(), lock.release(), std::move(handler)));
    if (::pipe2(channel->wakePipe_, O_CLOEXEC) != 0) return fail(errnoText("cannot create a pipe"));
    channel->thread_ = std::thread([raw = channel.get()] { raw->serve(); });
    return {Outcome::listening, std::move(channel), {}};
}

InstanceChannel::InstanceChannel(std::filesystem::path path, int listener, int lock, Handler handler)
    : path_(std::move(path)), listener_(listener), lock_(lock), handler_(std::move(handler))
{}

InstanceChannel::~InstanceChannel()
{
    if (thread_.joinable()) {
        const char wake = 1;
        (void)!::write(wakePipe_[1], &wake, 1);
        thread_.join();
    }
    ::unlink(path_.c_str());
    for (int fd : {listener_, wakePipe_[0], wakePipe_[1], lock_})
        if (fd >= 0) ::close(fd);
}

// One connection being read: the channel reads every open connection as its bytes come, so a
// sender that trickles or stalls holds up no other.
struct InstanceChannel::Reading {
    FileDescriptor connection;
    std::string bytes;
    std::chrono::steady_clock::time_point due;
};

void InstanceChannel::serve()
{
    std::deque<Reading> readings;
    for (;;) {
        std::vector<pollfd> waiting{{listener_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        auto next = Clock::time_point::max();
        for (const Reading& reading : readings) {
            waiting.push_back({reading.connection.fd, POLLIN, 0});
            next = std::min(next, reading.due);
        }
        const int wait = next == Clock::time_point::max() ? -1 : static_cast<int>(timeLeft(next).count()) + 1;
        if (::poll(waiting.data(), waiting.size(), wait) < 0) {
            if (errno == EINTR) continue;
            diagnose("instance", errnoText("waiting for hand-offs failed"));
            return;
        }
        if (waiting[1].revents != 0) return;
        for (size_t i = readings.size(); i-- > 0;) {
            if (waiting[i + 2].revents != 0 && readFrom(readings[i])) readings.erase(readings.begin() + ptrdiff_t(i));
        }
        const auto now = Clock::now();
        std::erase_if(readings, [now](const Reading& reading) { return reading.due <= now; });
        if (waiting[0].revents != 0) accept(readings);
    }
}

void InstanceChannel::accept(std::deque<Reading>& readings)
{
    FileDescriptor connection{::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)};
    if (connection.fd < 0) return;
    if (!peerIsThisUser(connection.fd)) {
        diagnose("instance", "refused a hand-off from another user");
        return;
    }
    // A flood of idle connections loses its oldest, not the newest start.
    if (readings.size() >= maxReadings) readings.pop_front();
    readings.push_back({std::move(connection), {}, Clock::now() + readDeadline});
}

bool InstanceChannel::readFrom(Reading& reading)
{
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(reading.connection.fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return errno != EAGAIN;
        if (count == 0) break;
        if (reading.bytes.size() + static_cast<size_t>(count) > maxHandOffBytes) {
            diagnose("instance", "ignored a hand-off larger than allowed");
            return true;
        }
        reading.bytes.append(buffer, static_cast<size_t>(count));
    }
    setBlocking(reading.connection.fd, true);
    answer(reading.connection.fd, reading.bytes);
    return true;
}

void InstanceChannel::answer(int connection, std::string_view bytes)
{
    const auto arguments = decodeHandOff(bytes);
    if (!arguments) {
        diagnose("instance", "ignored a malformed hand-off");
        return;
    }
    // The hold has a descriptor of its own, so the connection outlives this function while a
    // hold is kept.
    Hold hold(new int(::dup(connection)), [](void* held) {
        const int* fd = static_cast<int*>(held);
        if (*fd >= 0) ::close(*fd);
        delete fd;
    });
    handler_(*arguments, std::move(hold));
    writeAll(connection, acknowledgement);
}

bool InstanceChannel::handOff(const std::filesystem::path& socketPath, const std::vector<std::string>& arguments,
                              std::chrono::milliseconds timeout, bool waitForRelease)
{
    const auto address = socketAddress(socketPath);
    if (!address || foreignFolder(socketPath.parent_path())) return false;
    const std::string message = encodeHandOff(arguments);
    if (message.size() > maxHandOffBytes) return false;
    // Connecting, sending and the acknowledgement all fall within the one time limit.
    const auto deadline = Clock::now() + timeout;
    FileDescriptor connection{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
    if (connection.fd < 0) return false;
    if (!connectBefore(connection.fd, *address, deadline)) return false;
    // The arguments (file names, sign-in callbacks) go only to an instance of this user's.
    if (!peerIsThisUser(connection.fd)) return false;
    if (!writeBefore(connection.fd, message, deadline)) return false;
    ::shutdown(connection.fd, SHUT_WR);
    // The answer is read by its length: a hold keeps the connection open after it.
    const auto reply = readUpTo(connection.fd, acknowledgement.size(), deadline);
    if (!reply || *reply != acknowledgement) return false;
    if (waitForRelease) {
        setBlocking(connection.fd, true);
        waitForClose(connection.fd);
    }
    return true;
}

InstanceChannel::Claim InstanceChannel::claim(const std::filesystem::path& socketPath,
                                              const std::vector<std::string>& arguments, Handler handler,
                                              bool waitForRelease)
{
    // An instance that has just taken the lock may not listen yet: ask again a few times.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (handOff(socketPath, arguments, std::chrono::seconds(5), waitForRelease)) return {nullptr, true, {}};
        auto listening = listen(socketPath, handler);
        if (listening.outcome == Outcome::listening) return {std::move(listening.channel), false, {}};
        if (listening.outcome == Outcome::failed) return {nullptr, false, listening.error};
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {nullptr, false, "another instance holds " + socketPath.string() + " but does not answer"};
}

} // namespace oxel
