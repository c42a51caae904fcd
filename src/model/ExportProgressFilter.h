#pragma once

#include <atomic>

namespace oxel {

// What one export's progress lets through to the tile: a value that moved at least `step` past
// the last one let through, and the end. Fed from the engine's thread; `close()` from the main
// thread once the outcome is known, after which nothing more is let through.
class ExportProgressFilter {
public:
    static constexpr double step = 0.005;

    // Whether `value` goes on to the tile; it then becomes the last value let through.
    bool pass(double value);
    void close() { open_ = false; }
    bool open() const { return open_; }

private:
    double last_ = -1.0;
    std::atomic<bool> open_ = true;
};

} // namespace oxel
