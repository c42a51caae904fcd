#include "platform/Diagnostics.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace oxel {
namespace {

void writeLine(std::string_view opening, std::string_view message)
{
    while (message.ends_with('\n')) message.remove_suffix(1);
    std::string line;
    line.reserve(opening.size() + message.size() + 1);
    line.append(opening).append(message);
    std::replace(line.begin(), line.end(), '\n', ' ');
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
}

} // namespace

void diagnose(std::string_view component, std::string_view message)
{
    std::string opening;
    opening.append("[").append(component).append("] ");
    writeLine(opening, message);
}

void diagnoseAs(std::string_view name, std::string_view message)
{
    std::string opening(name);
    opening.append(": ");
    writeLine(opening, message);
}

} // namespace oxel
