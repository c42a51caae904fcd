#pragma once

#include "async/Signal.h"
#include "library/FileStamp.h"
#include "platform/InstanceChannel.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace oxel {

class AppModel;

// Later starts that wait for their hand-off (`--wait`), kept waiting until the application lets
// each of their files go: sent back, removed from the batch, left behind by a new or reopened
// batch, or read without joining it. Ending the application lets every one go.
class WaitingStarts {
public:
    explicit WaitingStarts(AppModel& model);
    WaitingStarts(const WaitingStarts&) = delete;
    WaitingStarts& operator=(const WaitingStarts&) = delete;

    // After the model received `files`: `hold` is kept until they are all let go.
    void add(const std::vector<std::string>& files, InstanceChannel::Hold hold);
    size_t count() const { return waiting_.size(); }
    // Looks again at the batch; the model's changes call it, and so may anything that sends back.
    void check();

private:
    struct File {
        std::filesystem::path path;
        bool seen = false;
        std::optional<FileStamp> sentBackWhenSeen{};
    };
    struct Waiting {
        std::vector<File> files;
        uint64_t generation;
        InstanceChannel::Hold hold;
    };

    bool letGo(File& file, uint64_t generation) const;

    AppModel& model_;
    std::vector<Waiting> waiting_;
    Connection connection_;
};

} // namespace oxel
