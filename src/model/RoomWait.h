#pragma once

#include "async/Debounce.h"
#include "platform/Uuid.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace oxel {

// The open batch's wait for room on the library's disk: the pictures held back until their
// results fit, whose shots the account that chose them spends and no other, the look that sends
// them once there is room, and the line that tells of them. A new batch and any change of account
// end the wait as a whole. Main thread only.
struct RoomWait {
    // What the stored results of the open batch took on disk, the most of any: for each pixel
    // sent, in its render and thumbnail, and in its records.
    struct StoredResults {
        std::set<Uuid> measured;
        double bytesPerPixel = 0;
        uintmax_t recordBytes = 0;
        // Another picture's result may take more for its size than any before.
        static constexpr double margin = 1.25;
    };

    explicit RoomWait(std::chrono::nanoseconds lookInterval) : look(lookInterval) {}

    // Forgets the held pictures and what stored results took, stops looking and drops the line.
    void reset();

    std::set<Uuid> held;
    // The account the held pictures were chosen under.
    std::optional<std::string> account;
    // The pictures "process" sent together, those held back among them.
    std::set<Uuid> sentTogether;
    Debounce look;
    StoredResults storedResults;
    // The line last said, which the next look brings up to date.
    std::optional<std::string> line;
};

} // namespace oxel
