#include "backend/BalanceResponse.h"

#include "backend/WireJson.h"

namespace oxel {

BackendResult<BalanceResponse> BalanceResponse::decode(std::string_view bytes)
{
    return decodeRecord<BalanceResponse>(bytes, [](const Json& value) {
        const Json& object = requireObject(value, "the balance answer");
        return BalanceResponse{
            requiredInteger(object, "balance"),   requiredInteger(object, "paidCredits"),
            requiredText(object, "accessState"),  requiredBoolean(object, "systemSlow"),
            optionalText(object, "accountToken"),
        };
    });
}

} // namespace oxel
