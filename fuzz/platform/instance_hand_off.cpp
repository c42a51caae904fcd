// Whatever another process of this user writes to the instance socket must decode or be refused.
#include "platform/InstanceChannel.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto arguments = oxel::InstanceChannel::decodeHandOff(bytes)) {
        const auto again = oxel::InstanceChannel::decodeHandOff(oxel::InstanceChannel::encodeHandOff(*arguments));
        if (!again || again->size() != arguments->size()) __builtin_trap();
    }
    return 0;
}
