#include "async/TimeSource.h"

namespace oxel {

namespace {

class SystemTime final : public TimeSource {
public:
    WallTime now() const override { return std::chrono::system_clock::now(); }
    SteadyTime steady() const override { return std::chrono::steady_clock::now(); }
};

} // namespace

const TimeSource& TimeSource::system()
{
    static const SystemTime clocks;
    return clocks;
}

} // namespace oxel
