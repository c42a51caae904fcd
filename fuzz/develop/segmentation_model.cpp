// The segmentation network's loader, fed untrusted model bytes: it must refuse or load without
// reading outside the bytes, and a small network it loads must run without reading or writing
// outside its scratch memory.

#include "develop/segment/Network.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto network = oxel::segment::Network::load({data, size});
    if (!network || network->scratchSize() > (size_t(1) << 16)) return 0;
    const std::vector<float> input(network->inputShape().size(), 0.5f);
    const auto output = network->run(input);
    if (output.size() != network->outputShape().size()) __builtin_trap();
    return 0;
}
