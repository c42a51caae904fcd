// Feeds arbitrary bytes to the layered-file reader: it must answer without crashing, reading out of
// bounds or allocating more than the bytes could hold.
#include "export/PSDReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto original = oxel::PSDReader::readOriginal(oxel::PSDReader::MemorySource({data, size}));
    if (original && original->samples.size() != size_t(original->width * original->height * 3)) __builtin_trap();
    return 0;
}
