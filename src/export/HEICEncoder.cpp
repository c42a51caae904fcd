#include "export/HEICEncoder.h"

#include "export/HEICAuxiliary.h"
#include "platform/Diagnostics.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace oxel {

namespace {

using Context = std::unique_ptr<heif_context, decltype(&heif_context_free)>;
using Encoder = std::unique_ptr<heif_encoder, decltype(&heif_encoder_release)>;
using Picture = std::unique_ptr<heif_image, decltype(&heif_image_release)>;
using Handle = std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)>;

bool succeeded(const heif_error& error, const char* what)
{
    if (error.code == heif_error_Ok) return true;
    diagnose("export", std::string("heic: ") + what + ": " + (error.message ? error.message : "failed"));
    return false;
}

Encoder makeEncoder(heif_context* context, double quality)
{
    heif_encoder* encoder = nullptr;
    if (!succeeded(heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder), "no HEVC encoder"))
        return {nullptr, heif_encoder_release};
    Encoder owned(encoder, heif_encoder_release);
    heif_encoder_set_lossy_quality(encoder, int(std::lround(std::clamp(quality, 0.0, 1.0) * 100)));
    // The quickest of x265's presets: at export qualities the pictures look the same, and a
    // 24-megapixel picture encodes about three times faster than with "fast".
    heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
    return owned;
}

Picture rgbPicture(const Bitmap& bitmap)
{
    heif_image* image = nullptr;
    if (!succeeded(heif_image_create(int(bitmap.width()), int(bitmap.height()), heif_colorspace_RGB,
                                     heif_chroma_interleaved_RGB, &image),
                   "image"))
        return {nullptr, heif_image_release};
    Picture owned(image, heif_image_release);
    if (!succeeded(heif_image_add_plane(image, heif_channel_interleaved, int(bitmap.width()), int(bitmap.height()), 8),
                   "plane"))
        return {nullptr, heif_image_release};
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int64_t y = 0; y < bitmap.height(); ++y) {
        const uint8_t* in = bitmap.row(y);
        uint8_t* out = plane + size_t(y) * size_t(stride);
        for (int64_t x = 0; x < bitmap.width(); ++x) {
            out[3 * x] = in[4 * x];
            out[3 * x + 1] = in[4 * x + 1];
            out[3 * x + 2] = in[4 * x + 2];
        }
    }
    const auto& icc = bitmap.colourSpace().icc;
    if (!icc.empty() && !succeeded(heif_image_set_raw_color_profile(image, "prof", icc.data(), icc.size()), "profile"))
        return {nullptr, heif_image_release};
    return owned;
}

Picture greyPicture(const GainMapPicture& map)
{
    heif_image* image = nullptr;
    if (!succeeded(heif_image_create(int(map.width), int(map.height), heif_colorspace_monochrome,
                                     heif_chroma_monochrome, &image),
                   "gain map"))
        return {nullptr, heif_image_release};
    Picture owned(image, heif_image_release);
    if (!succeeded(heif_image_add_plane(image, heif_channel_Y, int(map.width), int(map.height), 8), "gain map plane"))
        return {nullptr, heif_image_release};
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_Y, &stride);
    for (int64_t y = 0; y < map.height; ++y)
        std::memcpy(plane + size_t(y) * size_t(stride), map.pixels.data() + size_t(y * map.width), size_t(map.width));
    return owned;
}

heif_error appendToVector(heif_context*, const void* data, size_t size, void* userdata)
{
    auto* out = static_cast<std::vector<uint8_t>*>(userdata);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

Handle encode(heif_context* context, const heif_image* picture, heif_encoder* encoder)
{
    heif_image_handle* handle = nullptr;
    if (!succeeded(heif_context_encode_image(context, picture, encoder, nullptr, &handle), "encode"))
        return {nullptr, heif_image_handle_release};
    return {handle, heif_image_handle_release};
}

// The one top-level image besides the primary: the gain map just encoded.
std::optional<uint32_t> otherImageThanPrimary(heif_context* context)
{
    heif_item_id primary = 0;
    if (heif_context_get_primary_image_ID(context, &primary).code != heif_error_Ok) return std::nullopt;
    heif_item_id ids[2] = {};
    if (heif_context_get_number_of_top_level_images(context) != 2) return std::nullopt;
    heif_context_get_list_of_top_level_image_IDs(context, ids, 2);
    return ids[0] == primary ? ids[1] : ids[0];
}

} // namespace

std::optional<std::vector<uint8_t>> encodeHEIC(const Bitmap& bitmap, double quality, std::span<const uint8_t> exif,
                                               std::string_view xmp, const GainMapPicture* gainMap)
{
    if (bitmap.isNull() || bitmap.format() != PixelFormat::RGBX8) return std::nullopt;
    if (bitmap.width() > 65535 || bitmap.height() > 65535) return std::nullopt;
    if (gainMap && (gainMap->width < 1 || gainMap->height < 1 || gainMap->width > 65535 || gainMap->height > 65535 ||
                    gainMap->pixels.size() != size_t(gainMap->width * gainMap->height)))
        return std::nullopt;

    Context context(heif_context_alloc(), heif_context_free);
    if (!context) return std::nullopt;
    Encoder encoder = makeEncoder(context.get(), quality);
    Picture picture = rgbPicture(bitmap);
    if (!encoder || !picture) return std::nullopt;
    Handle primary = encode(context.get(), picture.get(), encoder.get());
    if (!primary) return std::nullopt;
    picture.reset();
    if (!exif.empty() &&
        !succeeded(heif_context_add_exif_metadata(context.get(), primary.get(), exif.data(), int(exif.size())), "exif"))
        return std::nullopt;
    if (!xmp.empty() &&
        !succeeded(heif_context_add_XMP_metadata(context.get(), primary.get(), xmp.data(), int(xmp.size())), "xmp"))
        return std::nullopt;

    std::optional<uint32_t> mapItem;
    if (gainMap) {
        Picture map = greyPicture(*gainMap);
        Handle mapHandle =
            map ? encode(context.get(), map.get(), encoder.get()) : Handle(nullptr, heif_image_handle_release);
        if (!mapHandle) return std::nullopt;
        if (!gainMap->xmp.empty() &&
            !succeeded(heif_context_add_XMP_metadata(context.get(), mapHandle.get(), gainMap->xmp.data(),
                                                     int(gainMap->xmp.size())),
                       "gain map xmp"))
            return std::nullopt;
        if (!succeeded(heif_context_set_primary_image(context.get(), primary.get()), "primary")) return std::nullopt;
        mapItem = otherImageThanPrimary(context.get());
        if (!mapItem) return std::nullopt;
    }

    heif_item_id primaryItem = 0;
    std::vector<uint8_t> bytes;
    heif_writer writer{1, appendToVector};
    if (!succeeded(heif_context_write(context.get(), &writer, &bytes), "write")) return std::nullopt;
    if (mapItem &&
        !makeAuxiliaryGainMap(
            bytes, *mapItem,
            heif_context_get_primary_image_ID(context.get(), &primaryItem).code == heif_error_Ok ? primaryItem : 0))
        return std::nullopt;
    return bytes;
}

} // namespace oxel
