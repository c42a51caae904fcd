#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// An IPTC date ("CCYYMMDD", a month or day not known written "00") and time ("HHMMSS", with or
// without "±HHMM"; empty when there is none) as their datasets hold them, in XMP's form: reduced
// to the year or month where those are not known, and the time with its zone only when it has
// one. Nothing when the date is not one; a time that is not one is left off.
std::optional<std::string> xmpDateTime(std::string_view date, std::string_view time);

} // namespace oxel
