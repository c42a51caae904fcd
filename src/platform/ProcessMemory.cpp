#include "platform/ProcessMemory.h"

#include <fstream>
#include <string>

namespace oxel {

namespace {

// A figure of /proc/self/status, given there in kilobytes.
size_t statusFigure(const std::string& name)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name, 0) == 0) return size_t(std::stoull(line.substr(name.size()))) * 1024;
    return 0;
}

} // namespace

size_t residentBytes()
{
    return statusFigure("VmRSS:");
}

size_t residentPeakBytes()
{
    return statusFigure("VmHWM:");
}

void resetResidentPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace oxel
