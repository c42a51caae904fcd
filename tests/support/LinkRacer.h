#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace oxel::testing {

// Someone else who may write to a folder: every time a hidden temporary (".oxel-...") in it is
// closed, a symbolic link to `victim` is renamed over its name, as an attacker racing a writer
// that opens its temporary again by name would.
class LinkRacer {
public:
    LinkRacer(std::filesystem::path folder, std::filesystem::path victim);
    ~LinkRacer();
    LinkRacer(const LinkRacer&) = delete;
    LinkRacer& operator=(const LinkRacer&) = delete;

    // How many links were swapped in so far.
    int swaps() const { return swaps_.load(); }

private:
    void race(int watch);
    void swapIn(const std::string& name);

    std::filesystem::path folder_;
    std::filesystem::path victim_;
    std::atomic<bool> stop_{false};
    std::atomic<int> swaps_{0};
    std::thread thread_;
};

inline LinkRacer::LinkRacer(std::filesystem::path folder, std::filesystem::path victim)
    : folder_(std::move(folder)), victim_(std::move(victim))
{
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ::inotify_add_watch(watch, folder_.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    // Watching starts before the constructor returns, so no close is missed.
    thread_ = std::thread([this, watch] { race(watch); });
}

inline LinkRacer::~LinkRacer()
{
    stop_ = true;
    thread_.join();
}

inline void LinkRacer::race(int watch)
{
    alignas(inotify_event) char events[16384];
    while (!stop_) {
        pollfd ready{watch, POLLIN, 0};
        if (::poll(&ready, 1, 20) <= 0) continue;
        const ssize_t got = ::read(watch, events, sizeof events);
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if (event->len > 0 && std::string_view(event->name).starts_with(".oxel-")) swapIn(event->name);
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
}

inline void LinkRacer::swapIn(const std::string& name)
{
    const auto link = folder_ / "racing-link";
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    std::filesystem::create_symlink(victim_, link, ignored);
    if (!ignored && ::rename(link.c_str(), (folder_ / name).c_str()) == 0) ++swaps_;
}

} // namespace oxel::testing
