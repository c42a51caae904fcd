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
        // Small sides too, so that the small pictures of the corpus reach the reduced ways through
        // their pixel data (rows averaged in blocks as they are decoded). None is larger than the whole.
        const auto whole = oxel::decodeStoredPicture(bytes, *file, 0);
        if (whole && (whole->width() < 1 || whole->height() < 1)) __builtin_trap();
        for (int64_t minLongSide : {int64_t(64), 1 + int64_t(size % 7)}) {
            const auto bitmap = oxel::decodeStoredPicture(bytes, *file, minLongSide);
            if (bitmap && (bitmap->width() < 1 || bitmap->height() < 1)) __builtin_trap();
            if (bitmap && whole && (bitmap->width() > whole->width() || bitmap->height() > whole->height()))
                __builtin_trap();
        }
    }
    if (const auto map = oxel::readGainMap(bytes))
        if (map->pixels.width() < 1 || map->pixels.height() < 1) __builtin_trap();
    (void)oxel::containsGainMap(bytes);
    (void)oxel::gainMapMetadata(bytes);
    return 0;
}
