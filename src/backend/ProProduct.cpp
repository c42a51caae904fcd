#include "backend/ProProduct.h"

#include "backend/WireJson.h"

#include <clocale>
#include <langinfo.h>
#include <locale.h>

namespace oxel {

std::string ProProduct::displayPrice(const std::optional<std::string>& currencyCode) const
{
    if (currencyCode && prices) {
        if (auto found = prices->find(*currencyCode); found != prices->end()) return found->second;
    }
    return price;
}

std::string ProProduct::displayPrice() const
{
    return displayPrice(currentCurrencyCode());
}

ProProduct ProProduct::read(const Json& value)
{
    const Json& object = requireObject(value, "a product");
    return ProProduct{
        requiredText(object, "id"),        requiredInteger(object, "credits"),  requiredText(object, "label"),
        requiredText(object, "price"),     requiredText(object, "checkoutURL"), optionalText(object, "provider"),
        optionalTextMap(object, "prices"),
    };
}

BackendResult<ProProductsResponse> ProProductsResponse::decode(std::string_view bytes)
{
    return decodeRecord<ProProductsResponse>(bytes, [](const Json& value) {
        const Json& object = requireObject(value, "the products answer");
        auto found = object.find("products");
        if (found == object.end() || found->is_null()) throw JsonFieldError{{"products", "no value"}};
        if (!found->is_array()) throw JsonFieldError{{"products", "expected a list of products"}};
        ProProductsResponse answer;
        for (const Json& product : *found) answer.products.push_back(ProProduct::read(product));
        answer.available = requiredBoolean(object, "available");
        return answer;
    });
}

std::optional<std::string> currentCurrencyCode()
{
    locale_t monetary = newlocale(LC_MONETARY_MASK, "", locale_t(0));
    if (monetary == locale_t(0)) return std::nullopt;
    std::string symbol = nl_langinfo_l(INT_CURR_SYMBOL, monetary);
    freelocale(monetary);
    while (!symbol.empty() && symbol.back() == ' ') symbol.pop_back();
    if (symbol.size() != 3) return std::nullopt;
    return symbol;
}

} // namespace oxel
