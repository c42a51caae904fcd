#include "develop/codecs/IptcXmpDate.h"

namespace oxel {

namespace {

// Two decimal digits of `text` from `at`; nothing unless both are digits.
std::optional<int> twoDigits(std::string_view text, size_t at)
{
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (at + 2 > text.size() || !digit(text[at]) || !digit(text[at + 1])) return std::nullopt;
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

// An IPTC time as written ("HHMMSS", with or without "±HHMM") in XMP's form, its zone only when
// it has one.
std::optional<std::string> xmpTime(std::string_view written)
{
    const bool zoned = written.size() == 11 && (written[6] == '+' || written[6] == '-');
    if (written.size() != 6 && !zoned) return std::nullopt;
    const auto hour = twoDigits(written, 0), minute = twoDigits(written, 2), second = twoDigits(written, 4);
    if (!hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
    std::string xmp(written.substr(0, 2));
    xmp.append(":").append(written.substr(2, 2)).append(":").append(written.substr(4, 2));
    if (!zoned) return xmp;
    const auto zoneHour = twoDigits(written, 7), zoneMinute = twoDigits(written, 9);
    if (!zoneHour || !zoneMinute || *zoneHour > 23 || *zoneMinute > 59) return std::nullopt;
    return xmp.append(written.substr(6, 3)).append(":").append(written.substr(9, 2));
}

} // namespace

std::optional<std::string> xmpDateTime(std::string_view date, std::string_view time)
{
    const auto century = twoDigits(date, 0), yearOfCentury = twoDigits(date, 2);
    const auto month = twoDigits(date, 4), day = twoDigits(date, 6);
    if (date.size() != 8 || !century || !yearOfCentury || !month || !day || *month > 12 || *day > 31 ||
        (*month == 0 && *day != 0))
        return std::nullopt;
    std::string xmp(date.substr(0, 4));
    if (*month == 0) return xmp;
    xmp.append("-").append(date.substr(4, 2));
    if (*day == 0) return xmp;
    xmp.append("-").append(date.substr(6, 2));
    if (const auto clock = xmpTime(time)) xmp.append("T").append(*clock);
    return xmp;
}

} // namespace oxel
