#include "library/FileStamp.h"

#include "library/RecordFields.h"

namespace oxel {

FileStamp FileStamp::of(const FileState& state)
{
    return {int64_t(state.size), Date(std::chrono::nanoseconds(state.modifiedNanoseconds))};
}

std::optional<FileStamp> FileStamp::of(const std::filesystem::path& file)
{
    const auto state = FileState::of(file);
    if (!state) return std::nullopt;
    return of(*state);
}

bool FileStamp::agreesWith(const FileStamp& other) const
{
    return size == other.size && std::chrono::abs(modified - other.modified) < std::chrono::seconds(1);
}

FileStamp FileStamp::read(const Json& object)
{
    return {requiredInteger(object, "size"), requiredDate(object, "modified")};
}

Json FileStamp::json() const
{
    return RecordWriter().integer("size", size).date("modified", modified).json();
}

} // namespace oxel
