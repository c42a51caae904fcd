#include "backend/JobId.h"

#include <algorithm>

namespace oxel {
namespace {

bool isJobIdCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

} // namespace

bool isJobId(std::string_view text)
{
    return !text.empty() && text.size() <= longestJobId && std::all_of(text.begin(), text.end(), isJobIdCharacter);
}

std::string refusedJobId(std::string_view text, std::string_view where)
{
    constexpr size_t shown = 60;
    std::string printable(text.substr(0, shown));
    std::replace_if(
        printable.begin(), printable.end(), [](char c) { return c < ' ' || c > '~'; }, '?');
    std::string line = "refused a job id that is not one, from ";
    line.append(where).append(": \"").append(printable).append(text.size() > shown ? "\"…" : "\"");
    return line;
}

} // namespace oxel
