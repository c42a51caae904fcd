// The whole-file decoding path an original takes: the file-type table, each format's header
// reader, its decoder at full and at reduced size, and the gain-map reader. Every refusal is fine;
// what must never happen is a crash, an overrun, a hang or an allocation the file cannot justify
// (libFuzzer's memory limit turns those into failures).

#include "develop/SourceDecoding.h"
#include "develop/codecs/GainMapLocator.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    if (const auto file = oxel::readPictureFile(bytes)) {
        for (int64_t minLongSide : {int64_t(0), int64_t(64)}) {
            const auto bitmap = oxel::decodeStoredPicture(bytes, *file, minLongSide);
            if (bitmap && (bitmap->width() < 1 || bitmap->height() < 1)) __builtin_trap();
        }
    }
    if (const auto map = oxel::readGainMap(bytes))
        if (map->pixels.width() < 1 || map->pixels.height() < 1) __builtin_trap();
    (void)oxel::containsGainMap(bytes);
    (void)oxel::gainMapMetadata(bytes);
    return 0;
}
