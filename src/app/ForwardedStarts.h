#pragma once

#include "platform/InstanceChannel.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace oxel {

// The arguments of later starts, from the instance channel's thread to the main thread. Starts
// that arrive before the application can take them (while Qt is still being set up) wait here.
class ForwardedStarts {
public:
    using Deliver = std::function<void(std::vector<std::string> arguments, InstanceChannel::Hold hold)>;

    // Any thread.
    void receive(std::vector<std::string> arguments, InstanceChannel::Hold hold);
    // On the main thread once the main executor is installed: posts the waiting starts to
    // `deliver`, and every later one.
    void open(Deliver deliver);
    // After this nothing more is delivered. Gives the starts that were never posted.
    std::vector<std::vector<std::string>> close();

private:
    // With the mutex held and a deliverer set.
    void post(std::vector<std::string> arguments, InstanceChannel::Hold hold);

    std::mutex mutex_;
    Deliver deliver_;
    std::vector<std::pair<std::vector<std::string>, InstanceChannel::Hold>> waiting_;
    bool closed_ = false;
};

} // namespace oxel
