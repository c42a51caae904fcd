#include "develop/codecs/HEIFCodec.h"

#include "develop/codecs/PictureCodec.h"
#include "develop/colour/IccProfiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace oxel {

std::optional<HEIFFile> HEIFFile::open(std::span<const uint8_t> bytes)
{
    HEIFFile file;
    file.context_ = std::shared_ptr<heif_context>(heif_context_alloc(), heif_context_free);
    if (!file.context_) return std::nullopt;
    heif_context_set_maximum_image_size_limit(file.context_.get(), int(DecodeLimits::maxSide));
    if (heif_context_read_from_memory_without_copy(file.context_.get(), bytes.data(), bytes.size(), nullptr).code !=
        heif_error_Ok)
        return std::nullopt;
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(file.context_.get(), &primary).code != heif_error_Ok || !primary)
        return std::nullopt;
    file.primary_ = std::shared_ptr<heif_image_handle>(primary, heif_image_handle_release);
    return file;
}

namespace heif {

namespace {

std::vector<uint8_t> profileOf(heif_image_handle* handle)
{
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
        std::vector<uint8_t> icc(size);
        if (size > 0 && heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok) return icc;
        return {};
    }
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx) return {};
    auto icc = iccForCICP(nclx->color_primaries, nclx->transfer_characteristics);
    heif_nclx_color_profile_free(nclx);
    return icc.value_or(std::vector<uint8_t>());
}

Metadata metadataOf(heif_image_handle* handle)
{
    Metadata metadata;
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, nullptr);
    if (count <= 0) return metadata;
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_metadata_block_IDs(handle, nullptr, ids.data(), count);
    for (heif_item_id id : ids) {
        const std::string type = heif_image_handle_get_metadata_type(handle, id);
        const std::string contentType = heif_image_handle_get_metadata_content_type(handle, id);
        const size_t size = heif_image_handle_get_metadata_size(handle, id);
        if (size == 0 || size > (64u << 20)) continue;
        std::vector<uint8_t> block(size);
        if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok) continue;
        if (type == "Exif" && size > 4) {
            // A big-endian offset to the TIFF header comes first.
            const uint32_t skip = uint32_t(block[0]) << 24 | block[1] << 16 | block[2] << 8 | block[3];
            if (skip <= size - 4)
                if (auto exif = Metadata::fromExif(std::span(block).subspan(4 + skip))) metadata.merge(*exif);
        } else if (type == "mime" && contentType == "application/rdf+xml") {
            if (auto xmp = Metadata::fromXmp({reinterpret_cast<const char*>(block.data()), block.size()}))
                metadata.merge(*xmp);
        }
    }
    return metadata;
}

} // namespace

std::optional<PictureHeader> readHeader(std::span<const uint8_t> file)
{
    const auto heif = HEIFFile::open(file);
    if (!heif) return std::nullopt;
    heif_image_handle* handle = heif->primary();
    PictureHeader header;
    header.width = heif_image_handle_get_width(handle);
    header.height = heif_image_handle_get_height(handle);
    if (header.width <= 0 || header.height <= 0) return std::nullopt;
    header.bitsPerComponent = std::max(8, heif_image_handle_get_luma_bits_per_pixel(handle));
    header.icc = profileOf(handle);
    header.metadata = metadataOf(handle);
    // libheif turns and mirrors the picture as the container says; an Exif orientation in a
    // HEIF file is only a note of that.
    header.orientation = 1;
    return header;
}

namespace {

// A grid or overlay item draws a canvas whose size its own data gives, and libheif allocates that
// canvas before it compares it with the size the item declares: a few bytes could ask for
// gigabytes. Decoded pictures may pass the declared size only by what tiles overhang the canvas
// (encoders code small pictures as one larger tile).
void limitToDeclaredSize(const HEIFFile& file, heif_image_handle* handle)
{
    constexpr int tileOverhang = 1024;
    const int side = std::max({heif_image_handle_get_width(handle), heif_image_handle_get_height(handle),
                               heif_image_handle_get_ispe_width(handle), heif_image_handle_get_ispe_height(handle)});
    // libheif refuses sizes that reach the limit, not only those past it.
    heif_context_set_maximum_image_size_limit(file.context(),
                                              std::clamp(side, 1, int(DecodeLimits::maxSide)) + tileOverhang + 1);
}

} // namespace

std::optional<Samples> decodeHandle(const HEIFFile& file, heif_image_handle* handle)
{
    const int width = heif_image_handle_get_width(handle), height = heif_image_handle_get_height(handle);
    if (!DecodeLimits::allow(width, height)) return std::nullopt;
    limitToDeclaredSize(file, handle);
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle) > 8;
    const heif_chroma chroma = deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB;
    heif_image* image = nullptr;
    if (heif_decode_image(handle, &image, heif_colorspace_RGB, chroma, nullptr).code != heif_error_Ok || !image)
        return std::nullopt;
    const std::shared_ptr<heif_image> owned(image, heif_image_release);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int bits = heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved);
    const int decodedWidth = heif_image_get_width(image, heif_channel_interleaved);
    const int decodedHeight = heif_image_get_height(image, heif_channel_interleaved);
    if (!plane || decodedWidth <= 0 || decodedHeight <= 0) return std::nullopt;
    auto samples = Samples::allocate(decodedWidth, decodedHeight, 3, deep ? 16 : 8, ColourModel::rgb);
    if (!samples || size_t(stride) < samples->rowBytes()) return std::nullopt;
    for (int64_t y = 0; y < samples->height; ++y) {
        std::memcpy(samples->row(y), plane + size_t(y) * size_t(stride), samples->rowBytes());
        if (!deep || bits >= 16) continue;
        // 10 and 12-bit samples are widened to the full 16-bit range.
        auto* row = reinterpret_cast<uint16_t*>(samples->row(y));
        const uint32_t maximum = (1u << bits) - 1;
        for (int64_t i = 0; i < samples->width * 3; ++i)
            row[i] = uint16_t((uint32_t(row[i]) * 65535 + maximum / 2) / maximum);
    }
    return samples;
}

namespace {

// The smallest thumbnail the file carries whose longer side still reaches `minLongSide` and whose
// shape is the primary picture's; nothing when none does.
HEIFHandle reducedStandIn(const HEIFFile& file, int64_t minLongSide)
{
    heif_image_handle* primary = file.primary();
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0) return nullptr;
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    const double width = heif_image_handle_get_width(primary), height = heif_image_handle_get_height(primary);
    HEIFHandle chosen;
    int64_t chosenSide = 0;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle* raw = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[size_t(i)], &raw).code != heif_error_Ok || !raw) continue;
        HEIFHandle thumbnail(raw, heif_image_handle_release);
        const int thumbWidth = heif_image_handle_get_width(raw), thumbHeight = heif_image_handle_get_height(raw);
        const int64_t side = std::max(thumbWidth, thumbHeight);
        // A thumbnail of another shape (or turned otherwise) would distort what it stands in for.
        const bool sameShape = thumbWidth > 0 && thumbHeight > 0 &&
                               std::abs(double(thumbWidth) / thumbHeight - width / height) <= 0.02 * width / height;
        if (!sameShape || side < minLongSide || (chosen && side >= chosenSide)) continue;
        chosen = std::move(thumbnail);
        chosenSide = side;
    }
    return chosen;
}

} // namespace

std::optional<Samples> decode(std::span<const uint8_t> file, int64_t minLongSide)
{
    const auto heif = HEIFFile::open(file);
    if (!heif) return std::nullopt;
    if (minLongSide > 0)
        if (const auto standIn = reducedStandIn(*heif, minLongSide))
            if (auto samples = decodeHandle(*heif, standIn.get())) return samples;
    return decodeHandle(*heif, heif->primary());
}

} // namespace heif
} // namespace oxel
