#include "model/CheckoutLink.h"

#include "backend/AuthCallbackURL.h"
#include "backend/BackendRequest.h"

namespace oxel {

std::optional<std::string> checkoutLink(const ProProduct& product, const std::string& userId)
{
    const auto& url = product.checkoutURL;
    const auto parsed = AuthCallbackURL::parse(url);
    if (!parsed || (parsed->scheme != "http" && parsed->scheme != "https")) return std::nullopt;
    // A web address names its host.
    const auto afterScheme = url.find("://");
    if (afterScheme == std::string::npos) return std::nullopt;
    const auto hostStart = afterScheme + 3;
    if (url.find_first_of("/?#", hostStart) == hostStart || hostStart >= url.size()) return std::nullopt;
    const std::string name = product.provider == "lemonsqueezy" ? "checkout[custom][user_id]" : "client_reference_id";
    const auto fragmentAt = url.find('#');
    std::string link = url.substr(0, fragmentAt);
    const auto queryAt = link.find('?');
    if (queryAt == std::string::npos)
        link += '?';
    else if (queryAt + 1 < link.size() && link.back() != '&')
        link += '&';
    link += queryString({{name, userId}});
    if (fragmentAt != std::string::npos) link += url.substr(fragmentAt);
    return link;
}

} // namespace oxel
