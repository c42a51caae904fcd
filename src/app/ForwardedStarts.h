#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace oxel {

// The arguments of later starts, from the instance channel's thread to the main thread. Starts
// that arrive before the application can take them (while Qt is still being set up) wait here.
class ForwardedStarts {
public:
    using Deliver = std::function<void(std::vector<std::string> arguments)>;

    // Any thread.
    void receive(std::vector<std::string> arguments);
    // On the main thread once the main executor is installed: posts the waiting starts to
    // `deliver`, and every later one.
    void open(Deliver deliver);
    // After this nothing more is delivered.
    void close();

private:
    std::mutex mutex_;
    Deliver deliver_;
    std::vector<std::vector<std::string>> waiting_;
    bool closed_ = false;
};

} // namespace oxel
