#pragma once

#include "library/CaptureSpan.h"

#include <optional>
#include <string>

namespace oxel {

// The lower-case date text of a batch, in the system's time zone: "3 mar 2025" for one day,
// "3 to 9 mar 2025", "28 feb to 2 mar 2025" or "30 dec 2024 to 2 jan 2025" for a span. Without a
// span both ends are `fallback` (the batch's creation date). The month names are the British
// abbreviations ("sept") whatever the user's locale.
std::string captureSpanLabel(const std::optional<CaptureSpan>& span, Date fallback);

} // namespace oxel
