#pragma once

#include "app/LaunchArguments.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

class TimeSource;

// Where the files and links of a start go: the model's side of the hand-off.
class StartTarget {
public:
    virtual ~StartTarget() = default;
    // No photographs on screen and no batch.
    virtual bool showsNothing() const = 0;
    // Marks the run as started by a hand-off from `sender` (lower-cased, none without a name).
    virtual void markLaunchedByHandoff(std::optional<std::string> sender) = 0;
    virtual void receiveHandoff(const std::vector<std::string>& files, const std::optional<std::string>& sender) = 0;
    // Files that were opened, not handed over: they join the batch and are never written over.
    virtual void addOpened(const std::vector<std::string>& files) = 0;
    virtual void openLink(const std::string& url) = 0;
};

// Takes a start's arguments to the model: links to sign-in, opened files as opened, hand-offs as
// hand-offs. A hand-off within the first 15 s of the run into an empty window marks the run as
// started by it, so send back can close the application again.
class HandoffReception {
public:
    static constexpr std::chrono::seconds launchWindow{15};

    HandoffReception(StartTarget& target, const TimeSource& time, std::chrono::steady_clock::time_point launchedAt)
        : target_(target), time_(time), launchedAt_(launchedAt)
    {}

    void receive(const LaunchArguments& launch);

private:
    StartTarget& target_;
    const TimeSource& time_;
    std::chrono::steady_clock::time_point launchedAt_;
};

} // namespace oxel
