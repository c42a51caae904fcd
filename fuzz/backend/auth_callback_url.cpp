// Sign-in callback URLs arrive from the browser and from other local processes.
#include "backend/AuthCallbackURL.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto url = oxel::AuthCallbackURL::parse(text)) {
        if (url->queryItems)
            for (const auto& item : *url->queryItems)
                if (item.name.size() > size || (item.value && item.value->size() > size)) __builtin_trap();
        (void)url->firstItem("state");
    }
    return 0;
}
