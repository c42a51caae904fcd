#include "library/CaptureSpan.h"

#include "library/RecordFields.h"

namespace oxel {

CaptureSpan CaptureSpan::read(const Json& object)
{
    return {requiredDate(object, "from"), requiredDate(object, "to")};
}

Json CaptureSpan::json() const
{
    return RecordWriter().date("from", from).date("to", to).json();
}

} // namespace oxel
