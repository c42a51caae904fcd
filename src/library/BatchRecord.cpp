#include "library/BatchRecord.h"

#include "library/LibraryJson.h"
#include "library/RecordFields.h"

namespace oxel {
namespace {

constexpr CaseTexts<BatchRecord::NameSource, 4> nameSourceTexts{{"date", "rule", "model", "person"}};

} // namespace

BatchRecord BatchRecord::read(const Json& object)
{
    BatchRecord record;
    record.format = requiredInteger(object, "format");
    record.id = requiredUuid(object, "id");
    record.name = requiredText(object, "name");
    record.nameSource = requiredCase(object, "nameSource", nameSourceTexts);
    record.createdAt = requiredDate(object, "createdAt");
    record.updatedAt = requiredDate(object, "updatedAt");
    record.captured = optionalNested(object, "captured", CaptureSpan::read);
    record.place = optionalText(object, "place");
    record.account = optionalText(object, "account");
    record.nudge = requiredText(object, "nudge");
    record.strength = requiredNumber(object, "strength");
    record.colour = requiredNumber(object, "colour");
    record.alternativesOn = requiredBoolean(object, "alternativesOn");
    record.images = requiredUuidList(object, "images");
    return record;
}

Json BatchRecord::json() const
{
    return RecordWriter()
        .integer("format", format)
        .uuid("id", id)
        .text("name", name)
        .enumeration("nameSource", nameSource, nameSourceTexts)
        .date("createdAt", createdAt)
        .date("updatedAt", updatedAt)
        .nested("captured", captured)
        .text("place", place)
        .text("account", account)
        .text("nudge", nudge)
        .number("strength", strength)
        .number("colour", colour)
        .flag("alternativesOn", alternativesOn)
        .uuids("images", images)
        .json();
}

Decoded<BatchRecord> BatchRecord::decode(std::string_view bytes)
{
    return decodeStoredRecord<BatchRecord>(bytes);
}

Decoded<std::string> BatchRecord::encode() const
{
    return encodeStoredRecord(*this);
}

} // namespace oxel
