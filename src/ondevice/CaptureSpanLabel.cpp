#include "ondevice/CaptureSpanLabel.h"

#include <array>
#include <ctime>

namespace oxel {
namespace {

constexpr std::array<const char*, 12> monthNames = {"jan", "feb", "mar",  "apr", "may", "jun",
                                                    "jul", "aug", "sept", "oct", "nov", "dec"};

std::tm localDay(Date date)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(date);
    std::tm fields{};
    localtime_r(&seconds, &fields);
    return fields;
}

std::string dayText(const std::tm& day)
{
    return std::to_string(day.tm_mday);
}

std::string dayAndMonthText(const std::tm& day)
{
    return dayText(day) + " " + monthNames[size_t(day.tm_mon)];
}

std::string longText(const std::tm& day)
{
    return dayAndMonthText(day) + " " + std::to_string(day.tm_year + 1900);
}

} // namespace

std::string captureSpanLabel(const std::optional<CaptureSpan>& span, Date fallback)
{
    const std::tm from = localDay(span ? span->from : fallback);
    const std::tm to = localDay(span ? span->to : fallback);
    const bool sameYear = from.tm_year == to.tm_year;
    const bool sameMonth = sameYear && from.tm_mon == to.tm_mon;
    if (sameMonth && from.tm_mday == to.tm_mday) return longText(from);
    if (!sameYear) return longText(from) + " to " + longText(to);
    if (!sameMonth) return dayAndMonthText(from) + " to " + longText(to);
    return dayText(from) + " to " + longText(to);
}

} // namespace oxel
