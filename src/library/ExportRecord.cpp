#include "library/ExportRecord.h"

#include "library/RecordFields.h"

namespace oxel {

ExportRecord ExportRecord::read(const Json& object)
{
    return {requiredText(object, "to"), requiredText(object, "format"), requiredDate(object, "at")};
}

Json ExportRecord::json() const
{
    return RecordWriter().text("to", to).text("format", format).date("at", at).json();
}

} // namespace oxel
