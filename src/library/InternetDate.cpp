#include "library/InternetDate.h"

#include <cstdio>

namespace oxel {
namespace {

using namespace std::chrono;

// The number written with `digits` decimal digits at `at`, or nothing when any is not a digit.
std::optional<int> number(std::string_view text, size_t at, size_t digits)
{
    int value = 0;
    for (size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool hasSeparators(std::string_view text)
{
    return text[4] == '-' && text[7] == '-' && text[10] == 'T' && text[13] == ':' && text[16] == ':';
}

// The zone after the seconds as an offset east of UTC: "Z" or "+HH:MM"/"-HH:MM".
std::optional<minutes> zoneOffset(std::string_view zone)
{
    if (zone == "Z") return minutes(0);
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':') return std::nullopt;
    auto hours = number(zone, 1, 2);
    auto mins = number(zone, 4, 2);
    if (!hours || !mins || *hours > 23 || *mins > 59) return std::nullopt;
    minutes offset(*hours * 60 + *mins);
    return zone[0] == '-' ? -offset : offset;
}

} // namespace

std::string InternetDate::format(Date date)
{
    const auto second = floor<seconds>(date);
    const auto day = floor<days>(second);
    const year_month_day ymd(day);
    const hh_mm_ss time(second - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()), int(time.hours().count()), int(time.minutes().count()),
                  int(time.seconds().count()));
    return text;
}

std::optional<Date> InternetDate::parse(std::string_view text)
{
    constexpr size_t dateTimeLength = 19;
    if (text.size() < dateTimeLength + 1 || !hasSeparators(text)) return std::nullopt;
    auto y = number(text, 0, 4);
    auto mo = number(text, 5, 2);
    auto d = number(text, 8, 2);
    auto h = number(text, 11, 2);
    auto mi = number(text, 14, 2);
    auto s = number(text, 17, 2);
    auto offset = zoneOffset(text.substr(dateTimeLength));
    if (!y || !mo || !d || !h || !mi || !s || !offset || *h > 23 || *mi > 59 || *s > 59) return std::nullopt;
    const year_month_day ymd{year(*y), month(unsigned(*mo)), day(unsigned(*d))};
    if (!ymd.ok()) return std::nullopt;
    const auto utc = sys_days(ymd) + hours(*h) + minutes(*mi) + seconds(*s) - *offset;
    // The clock counts nanoseconds in 64 bits, from 1677 to 2262.
    if (utc < floor<seconds>(Date::min()) + seconds(1) || utc > floor<seconds>(Date::max())) return std::nullopt;
    return Date(duration_cast<Date::duration>(utc.time_since_epoch()));
}

} // namespace oxel
