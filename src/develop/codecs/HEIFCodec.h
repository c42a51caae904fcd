#pragma once

#include "develop/codecs/PictureCodec.h"

#include <libheif/heif.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace oxel {

// An open HEIF container and its primary picture, released together.
class HEIFFile {
public:
    // Nothing when the bytes are not a HEIF file libheif can read; the bytes must outlive the file.
    static std::optional<HEIFFile> open(std::span<const uint8_t> bytes);

    heif_context* context() const { return context_.get(); }
    heif_image_handle* primary() const { return primary_.get(); }

private:
    std::shared_ptr<heif_context> context_;
    std::shared_ptr<heif_image_handle> primary_;
};

// A handle that releases itself.
using HEIFHandle = std::shared_ptr<heif_image_handle>;

namespace heif {
// The picture of one image item (the primary or an auxiliary one), transformed as the container
// says, as 8-bit RGB or, for deeper items, 16-bit RGB.
std::optional<Samples> decodeHandle(const HEIFFile& file, heif_image_handle* handle);
} // namespace heif

} // namespace oxel
