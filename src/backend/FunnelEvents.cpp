#include "backend/FunnelEvents.h"

#include "backend/BackendRequest.h"

#include <charconv>

namespace oxel {

std::string_view wireName(FunnelEvent event)
{
    switch (event) {
    case FunnelEvent::detailTransfer: return "detail_transfer";
    case FunnelEvent::purchaseScreenViewed: return "purchase_screen_viewed";
    case FunnelEvent::colourOnlyGraded: return "colour_only_graded";
    case FunnelEvent::colourOnlyExplainerOpened: return "colour_only_explainer_opened";
    }
    return "";
}

std::optional<int64_t> decimalUserId(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    std::string digits(negative ? "-" : "");
    digits.append(text);
    int64_t number = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return number;
}

std::optional<Json> funnelEventBody(FunnelEvent event, std::optional<int64_t> value, const Json& metadata)
{
    auto userIdText = accountDefault("userId");
    if (!userIdText) return std::nullopt;
    auto userId = decimalUserId(*userIdText);
    if (!userId) return std::nullopt;
    auto token = accountDefault("accountToken");
    if (!token) return std::nullopt;
    Json merged = metadata.is_object() ? metadata : Json::object();
    merged["platform"] = "macos";
    merged["app"] = "oxel pro";
    return Json{
        {"userId", *userId},        {"accountToken", *token},
        {"event", wireName(event)}, {"value", value ? Json(*value) : Json(nullptr)},
        {"metadata", merged},
    };
}

void sendFunnelEvent(FunnelEvent event, std::optional<int64_t> value, const Json& metadata)
{
    auto body = funnelEventBody(event, value, metadata);
    if (!body) return;
    sendAndForget(backendRequest("POST", "/events/funnel", *body));
}

} // namespace oxel
