#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace oxel {

// Keeps an observer connected to a `Signal` until destroyed or disconnected.
class Connection {
public:
    Connection() = default;
    explicit Connection(std::weak_ptr<bool> connected) : connected_(std::move(connected)) {}
    Connection(Connection&&) noexcept = default;
    Connection& operator=(Connection&& other) noexcept
    {
        if (this != &other) {
            disconnect();
            connected_ = std::move(other.connected_);
        }
        return *this;
    }
    ~Connection() { disconnect(); }
    void disconnect()
    {
        if (auto connected = connected_.lock()) *connected = false;
        connected_.reset();
    }

private:
    std::weak_ptr<bool> connected_;
};

// A list of observers called in the order they connected. Main thread only. Observers may
// connect or disconnect while an emission runs; one that disconnects is not called afterwards.
template <typename... Args>
class Signal {
    struct Slot {
        std::function<void(const Args&...)> observer;
        std::shared_ptr<bool> connected = std::make_shared<bool>(true);
    };

public:
    [[nodiscard]] Connection connect(std::function<void(const Args&...)> observer)
    {
        std::erase_if(slots_, [](const auto& slot) { return !*slot->connected; });
        auto slot = std::make_shared<Slot>(Slot{std::move(observer)});
        slots_.push_back(slot);
        return Connection(slot->connected);
    }

    void emit(const Args&... args) const
    {
        // A copy, so observers may connect and disconnect while it runs; not named "slots", which
        // Qt's keyword would erase where both are included.
        const auto current = slots_;
        for (const auto& slot : current)
            if (*slot->connected) slot->observer(args...);
    }

private:
    std::vector<std::shared_ptr<Slot>> slots_;
};

} // namespace oxel
