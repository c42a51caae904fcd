#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

using Date = std::chrono::system_clock::time_point;

// Dates as the library's records and the backend's job answers write them: an internet date-time
// in whole seconds, "2026-12-07T08:15:00Z".
struct InternetDate {
    // The date in UTC, rounded down to the second.
    static std::string format(Date date);

    // Exactly "YYYY-MM-DDTHH:MM:SS" followed by "Z" or a "+HH:MM"/"-HH:MM" offset, every field in
    // range. Fractions of a second, lower-case "t" or "z", leap seconds and dates the clock cannot
    // hold give nothing.
    static std::optional<Date> parse(std::string_view text);
};

} // namespace oxel
