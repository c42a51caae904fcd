#include "library/CaptureSpan.h"

#include "library/RecordFields.h"

#include <algorithm>

namespace oxel {

CaptureSpan CaptureSpan::read(const Json& object)
{
    return {requiredDate(object, "from"), requiredDate(object, "to")};
}

Json CaptureSpan::json() const
{
    return RecordWriter().date("from", from).date("to", to).json();
}

std::optional<CaptureSpan> CaptureSpan::of(const std::vector<Date>& dates)
{
    if (dates.empty()) return std::nullopt;
    auto [earliest, latest] = std::minmax_element(dates.begin(), dates.end());
    return CaptureSpan{*earliest, *latest};
}

} // namespace oxel
