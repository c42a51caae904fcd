#include "library/OriginalRef.h"

#include "library/RecordFields.h"

namespace oxel {

OriginalRef OriginalRef::read(const Json& object)
{
    OriginalRef ref;
    ref.path = requiredText(object, "path");
    ref.bookmark = optionalBytes(object, "bookmark");
    ref.volume = optionalText(object, "volume");
    ref.stamp = optionalNested(object, "stamp", FileStamp::read);
    ref.pixels = requiredIntegerList(object, "pixels");
    ref.captured = optionalDate(object, "captured");
    ref.latitude = optionalNumber(object, "latitude");
    ref.longitude = optionalNumber(object, "longitude");
    ref.handoff = requiredBoolean(object, "handoff");
    ref.relinked = optionalBoolean(object, "relinked").value_or(false);
    ref.sender = optionalText(object, "sender");
    ref.metadata = optionalBytes(object, "metadata");
    return ref;
}

Json OriginalRef::json() const
{
    return RecordWriter()
        .text("path", path)
        .bytes("bookmark", bookmark)
        .text("volume", volume)
        .nested("stamp", stamp)
        .integers("pixels", pixels)
        .date("captured", captured)
        .number("latitude", latitude)
        .number("longitude", longitude)
        .flag("handoff", handoff)
        .flag("relinked", relinked ? std::optional(true) : std::nullopt)
        .text("sender", sender)
        .bytes("metadata", metadata)
        .json();
}

} // namespace oxel
