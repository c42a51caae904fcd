#include "library/KeptThumbnail.h"

#include "develop/SourceCache.h"
#include "library/LibraryFiles.h"
#include "platform/JsonFields.h"

namespace oxel {
namespace {

constexpr size_t largestNote = 4096;

Json stampJson(const FileState& stamp)
{
    return Json{{"size", stamp.size},
                {"modified", stamp.modifiedNanoseconds},
                {"inode", stamp.inode},
                {"device", stamp.device}};
}

} // namespace

std::filesystem::path KeptThumbnail::notePath(const std::filesystem::path& thumbnail)
{
    return std::filesystem::path(thumbnail).replace_extension(".json");
}

std::optional<std::string> KeptThumbnail::note(const std::filesystem::path& thumbnail, const DevelopSettings& madeAt)
{
    const auto stamp = FileState::of(thumbnail);
    if (!stamp) return std::nullopt;
    return Json{{"alternative", madeAt.alternative},
                {"strength", madeAt.strength},
                {"colour", madeAt.colour},
                {"grain", madeAt.grain},
                {"thumbnail", stampJson(*stamp)}}
        .dump();
}

std::optional<DevelopSettings> KeptThumbnail::madeAt(const std::filesystem::path& thumbnail)
{
    const auto bytes = readLibraryFile(notePath(thumbnail));
    const auto stamp = FileState::of(thumbnail);
    if (!bytes || bytes->size() > largestNote || !stamp) return std::nullopt;
    const auto note = parseJson(*bytes, 64);
    if (!note || !note->is_object()) return std::nullopt;
    try {
        if (note->at("thumbnail") != stampJson(*stamp)) return std::nullopt;
        DevelopSettings settings;
        settings.alternative = note->at("alternative").get<bool>();
        settings.strength = note->at("strength").get<double>();
        settings.colour = note->at("colour").get<double>();
        settings.grain = note->at("grain").get<bool>();
        return settings;
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

} // namespace oxel
