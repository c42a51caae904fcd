#pragma once

#include "backend/BackendFailure.h"
#include "platform/JsonFields.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// A pack of shots for sale, with its price already formatted by the backend.
struct ProProduct {
    std::string id;
    int64_t credits = 0;
    std::string label;
    std::string price;
    std::string checkoutURL;
    std::optional<std::string> provider;
    std::optional<std::map<std::string, std::string>> prices;

    // The price for a currency (an ISO 4217 code such as "EUR"): its entry in `prices`, else `price`.
    std::string displayPrice(const std::optional<std::string>& currencyCode) const;
    // The price for the current locale's currency.
    std::string displayPrice() const;

    static ProProduct read(const Json& value);

    bool operator==(const ProProduct&) const = default;
};

// The products answer: the packs in the order to show, and whether the shop is open.
struct ProProductsResponse {
    std::vector<ProProduct> products;
    bool available = false;

    static BackendResult<ProProductsResponse> decode(std::string_view bytes);

    bool operator==(const ProProductsResponse&) const = default;
};

// The ISO 4217 code of the monetary locale (LC_MONETARY, LC_ALL, LANG), if it names one.
std::optional<std::string> currentCurrencyCode();

} // namespace oxel
