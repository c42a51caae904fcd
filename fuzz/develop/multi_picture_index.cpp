// The Multi-Picture Format index, read from untrusted bytes both as a bare APP2 payload and as the
// index of a whole JPEG file, and every picture range it lists.

#include "develop/codecs/MultiPictureIndex.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    if (auto index = oxel::MultiPictureIndex::parse(bytes)) {
        // What was read must encode and read back the same.
        if (oxel::MultiPictureIndex::parse(index->encoded()) != index) __builtin_trap();
    }
    if (auto located = oxel::locateMultiPictureIndex(bytes)) {
        for (size_t i = 0; i < located->index.entries.size(); ++i) {
            if (auto picture = located->picture(bytes, i)) {
                if (picture->data() < data || picture->data() + picture->size() > data + size) __builtin_trap();
            }
        }
    }
    return 0;
}
