#include "develop/codecs/GainMapLocator.h"

#include "develop/codecs/HEIFCodec.h"
#include "develop/codecs/HEIFTransforms.h"
#include "develop/codecs/JPEGStructure.h"
#include "develop/codecs/MultiPictureIndex.h"
#include "develop/colour/ColourTransform.h"

#include <algorithm>
#include <string_view>

namespace oxel {

namespace {

constexpr std::string_view heifGainMapType = "urn:com:apple:photo:2020:aux:hdrgainmap";
constexpr std::string_view hdrGainMapNamespace = "http://ns.apple.com/HDRGainMap/1.0/";
constexpr std::string_view isoGainMapNamespace = "http://ns.adobe.com/hdr-gain-map/1.0/";

// A secondary picture is a gain map when its XMP says so, in one of the two vocabularies.
std::optional<GainMapKind> kindOfSecondary(std::span<const uint8_t> picture)
{
    const auto segments = jpegSegments(picture);
    if (!segments) return std::nullopt;
    const auto packet = jpegXmpPacket(*segments);
    if (!packet) return std::nullopt;
    if (packet->find(hdrGainMapNamespace) != std::string_view::npos ||
        packet->find(heifGainMapType) != std::string_view::npos)
        return GainMapKind::hdr;
    if (packet->find(isoGainMapNamespace) != std::string_view::npos) return GainMapKind::iso;
    return std::nullopt;
}

// A map is never larger than its picture (maps are usually a quarter or half its size). A larger
// one is no map of this picture: carrying it would cost far more than the picture itself, and the
// export would write the giant map back out. Sides are compared long with long and short with
// short, as a container may turn the picture and not the map.
bool fitsPicture(int64_t mapWidth, int64_t mapHeight, int64_t pictureWidth, int64_t pictureHeight)
{
    const auto [mapShort, mapLong] = std::minmax(mapWidth, mapHeight);
    const auto [pictureShort, pictureLong] = std::minmax(pictureWidth, pictureHeight);
    return mapShort > 0 && mapLong <= pictureLong && mapShort <= pictureShort;
}

std::optional<JPEGFrame> frameOf(std::span<const uint8_t> picture)
{
    const auto segments = jpegSegments(picture);
    return segments ? jpegFrame(*segments) : std::nullopt;
}

struct FoundInJPEG {
    std::span<const uint8_t> picture;
    GainMapKind kind;
};

// The platform's map is preferred over an ISO one when a file holds both.
std::optional<FoundInJPEG> findInJPEG(std::span<const uint8_t> file)
{
    const auto index = locateMultiPictureIndex(file);
    const auto primary = index ? frameOf(file) : std::nullopt;
    if (!primary) return std::nullopt;
    std::optional<FoundInJPEG> found;
    for (size_t i = 1; i < index->index.entries.size(); ++i) {
        const auto picture = index->picture(file, i);
        if (!picture) continue;
        const auto kind = kindOfSecondary(*picture);
        const auto frame = kind ? frameOf(*picture) : std::nullopt;
        if (!frame || !fitsPicture(frame->width, frame->height, primary->width, primary->height)) continue;
        if (*kind == GainMapKind::hdr) return FoundInJPEG{*picture, *kind};
        if (!found) found = FoundInJPEG{*picture, *kind};
    }
    return found;
}

Metadata xmpOf(std::span<const uint8_t> picture)
{
    const auto segments = jpegSegments(picture);
    const auto packet = segments ? jpegXmpPacket(*segments) : std::nullopt;
    const auto metadata = packet ? Metadata::fromXmp(*packet) : std::nullopt;
    return metadata.value_or(Metadata());
}

struct FoundInHEIF {
    HEIFHandle handle;
    heif_item_id id = 0;
};

FoundInHEIF findInHEIF(const HEIFFile& heif)
{
    heif_image_handle* primary = heif.primary();
    const int filter = LIBHEIF_AUX_IMAGE_FILTER_OMIT_ALPHA | LIBHEIF_AUX_IMAGE_FILTER_OMIT_DEPTH;
    const int count = heif_image_handle_get_number_of_auxiliary_images(primary, filter);
    if (count <= 0 || count > 64) return {};
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_auxiliary_image_IDs(primary, filter, ids.data(), count);
    for (heif_item_id id : ids) {
        heif_image_handle* aux = nullptr;
        if (heif_image_handle_get_auxiliary_image_handle(primary, id, &aux).code != heif_error_Ok || !aux) continue;
        HEIFHandle handle(aux, heif_image_handle_release);
        const char* type = nullptr;
        if (heif_image_handle_get_auxiliary_type(aux, &type).code != heif_error_Ok || !type) continue;
        const bool isGainMap = type == heifGainMapType;
        heif_image_handle_free_auxiliary_types(aux, &type);
        if (isGainMap && fitsPicture(heif_image_handle_get_width(aux), heif_image_handle_get_height(aux),
                                     heif_image_handle_get_width(primary), heif_image_handle_get_height(primary)))
            return {handle, id};
    }
    return {};
}

// The container turns the primary picture with its own properties; a map without properties of
// its own is turned the same way, so that it lies like the picture.
std::vector<int> heifPictureTurns(std::span<const uint8_t> file, const HEIFFile& heif, heif_item_id mapID)
{
    heif_item_id primaryID = 0;
    if (heif_context_get_primary_image_ID(heif.context(), &primaryID).code != heif_error_Ok) return {};
    const auto mapTurns = heifItemTransforms(file, mapID);
    if (!mapTurns || !mapTurns->empty()) return {};
    return heifItemTransforms(file, primaryID).value_or(std::vector<int>());
}

std::vector<int> jpegPictureTurns(std::span<const uint8_t> file)
{
    const auto header = jpeg::readHeader(file);
    if (!header || header->orientation == 1) return {};
    return {header->orientation};
}

Metadata heifXmpOf(heif_image_handle* handle)
{
    Metadata metadata;
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, "mime");
    if (count <= 0 || count > 64) return metadata;
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_metadata_block_IDs(handle, "mime", ids.data(), count);
    for (heif_item_id id : ids) {
        if (std::string_view(heif_image_handle_get_metadata_content_type(handle, id)) != "application/rdf+xml")
            continue;
        const size_t size = heif_image_handle_get_metadata_size(handle, id);
        if (size == 0 || size > (16u << 20)) continue;
        std::string packet(size, '\0');
        if (heif_image_handle_get_metadata(handle, id, packet.data()).code != heif_error_Ok) continue;
        if (auto xmp = Metadata::fromXmp(packet)) metadata.merge(*xmp);
    }
    return metadata;
}

std::optional<Bitmap> bitmapOfGainMap(const std::optional<Samples>& samples)
{
    if (!samples) return std::nullopt;
    return bitmapOf(*samples, {});
}

} // namespace

bool containsGainMap(std::span<const uint8_t> file)
{
    const auto type = fileTypeOf(file);
    if (type == FileType::jpeg) return findInJPEG(file).has_value();
    if (type == FileType::heic || type == FileType::heif) {
        const auto heif = HEIFFile::open(file);
        return heif && findInHEIF(*heif).handle != nullptr;
    }
    return false;
}

std::optional<StoredGainMap> readGainMap(std::span<const uint8_t> file)
{
    const auto type = fileTypeOf(file);
    if (type == FileType::jpeg) {
        const auto found = findInJPEG(file);
        if (!found) return std::nullopt;
        auto pixels = bitmapOfGainMap(jpeg::decode(found->picture, 0));
        if (!pixels) return std::nullopt;
        return StoredGainMap{std::move(*pixels), xmpOf(found->picture), found->kind, GainMapContainer::jpegMultiPicture,
                             jpegPictureTurns(file)};
    }
    if (type == FileType::heic || type == FileType::heif) {
        const auto heif = HEIFFile::open(file);
        const FoundInHEIF found = heif ? findInHEIF(*heif) : FoundInHEIF{};
        if (!found.handle) return std::nullopt;
        auto pixels = bitmapOfGainMap(heif::decodeHandle(*heif, found.handle.get()));
        if (!pixels) return std::nullopt;
        return StoredGainMap{std::move(*pixels), heifXmpOf(found.handle.get()), GainMapKind::hdr,
                             GainMapContainer::heifAuxiliary, heifPictureTurns(file, *heif, found.id)};
    }
    return std::nullopt;
}

std::optional<Metadata> gainMapMetadata(std::span<const uint8_t> file)
{
    const auto type = fileTypeOf(file);
    if (type == FileType::jpeg) {
        const auto found = findInJPEG(file);
        if (!found) return std::nullopt;
        return xmpOf(found->picture);
    }
    if (type == FileType::heic || type == FileType::heif) {
        const auto heif = HEIFFile::open(file);
        const FoundInHEIF found = heif ? findInHEIF(*heif) : FoundInHEIF{};
        if (!found.handle) return std::nullopt;
        return heifXmpOf(found.handle.get());
    }
    return std::nullopt;
}

} // namespace oxel
