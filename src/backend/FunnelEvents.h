#pragma once

#include "platform/JsonFields.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace oxel {

enum class FunnelEvent {
    detailTransfer,
    purchaseScreenViewed,
    colourOnlyGraded,
    colourOnlyExplainerOpened,
};

// "detail_transfer", "purchase_screen_viewed", ...
std::string_view wireName(FunnelEvent event);

// Reports one product event to the backend, fire and forget, from any thread: returns at once and
// never learns whether it arrived. Nothing is sent without a numeric "userId" and an "accountToken".
void sendFunnelEvent(FunnelEvent event, std::optional<int64_t> value = std::nullopt,
                     const Json& metadata = Json::object());

// The event's body as it would be sent now, or nothing when no event is sent.
std::optional<Json> funnelEventBody(FunnelEvent event, std::optional<int64_t> value, const Json& metadata);

// A user id as the funnel reads it: an optional sign and only the digits 0-9, within 64 bits.
std::optional<int64_t> decimalUserId(std::string_view text);

} // namespace oxel
