#include "library/FileStamp.h"

#include "library/RecordFields.h"

namespace oxel {

FileStamp FileStamp::read(const Json& object)
{
    return {requiredInteger(object, "size"), requiredDate(object, "modified")};
}

Json FileStamp::json() const
{
    return RecordWriter().integer("size", size).date("modified", modified).json();
}

} // namespace oxel
