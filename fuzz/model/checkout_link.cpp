// Checkout URLs come from the backend's products answer; only a web address may come out.
#include "backend/AuthCallbackURL.h"
#include "model/CheckoutLink.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    oxel::ProProduct product;
    product.checkoutURL.assign(reinterpret_cast<const char*>(data), size);
    if (size % 2 == 1) product.provider = "lemonsqueezy";
    if (const auto link = oxel::checkoutLink(product, "12345")) {
        const auto scheme = oxel::urlScheme(*link);
        if (!scheme || (*scheme != "http" && *scheme != "https")) __builtin_trap();
        if (link->find("12345") == std::string::npos) __builtin_trap();
        if (!oxel::AuthCallbackURL::parse(*link)) __builtin_trap();
    }
    return 0;
}
