// The merged composite of PSD and PSB files, read from untrusted bytes: header, resources and
// raw or run-length pixel data.

#include "develop/codecs/PictureCodec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    const auto header = oxel::psd::readHeader(bytes);
    const auto samples = oxel::psd::decode(bytes, 0);
    if (samples && header && (samples->width != header->width || samples->height != header->height)) __builtin_trap();
    // A smaller picture is averaged from blocks as the rows come: a way through the pixel data of its own.
    const auto reduced = oxel::psd::decode(bytes, 1 + int64_t(size % 97));
    if (reduced && header && (reduced->width > header->width || reduced->height > header->height)) __builtin_trap();
    return 0;
}
