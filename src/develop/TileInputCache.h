#pragma once

#include "develop/TileInputs.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace oxel {

// The tile inputs one result keeps, by size. Each size is made by the first thread that asks for
// it while the others asking wait for that making; a making that gives nothing (it was stopped)
// is tried again by the next to ask. Only the few sizes asked for last are kept.
class TileInputCache {
public:
    using Make = std::function<std::shared_ptr<const TileInputs>()>;

    static constexpr size_t keptSizes = 3;

    std::shared_ptr<const TileInputs> at(int64_t width, int64_t height, const Make& make);

private:
    struct Slot {
        int64_t width = 0;
        int64_t height = 0;
        std::mutex making;
        std::shared_ptr<const TileInputs> made;
    };

    std::shared_ptr<Slot> slot(int64_t width, int64_t height);

    std::mutex mutex_;
    std::vector<std::shared_ptr<Slot>> slots_; // the size asked for last first
};

} // namespace oxel
