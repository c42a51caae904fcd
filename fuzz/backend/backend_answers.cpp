// Every reader of the backend's answers takes any bytes without crashing, and what it reads
// keeps its promises.
#include "backend/AnalysisResponse.h"
#include "backend/AppConfig.h"
#include "backend/BackendError.h"
#include "backend/BalanceResponse.h"
#include "backend/Base64.h"
#include "backend/JobResultResponse.h"
#include "backend/JobStatusResponse.h"
#include "backend/ProProduct.h"
#include "backend/ResultWire.h"
#include "backend/Utf8Text.h"
#include "backend/WireJson.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace oxel;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    (void)JobStatusResponse::decode(bytes);
    if (auto result = JobResultResponse::decode(bytes)) {
        auto wire = ResultWire::from(*result);
        if (result->analysis.isBlackAndWhite && result->analysis.grade) std::abort();
        if (!result->analysis.grade && result->analysis.gradeLookAlt) std::abort();
    }
    (void)AnalysisResponse::decode(bytes);
    // Whatever parses may be copied and written out by its holder without exhausting the stack.
    if (auto json = parseJson(bytes)) {
        Json copy = *json;
        if (copy != *json) std::abort();
        (void)compactJson(copy);
    }
    if (auto config = AppConfig::parse(bytes)) {
        if (!(config->refineDivergenceLimit > 0 && config->refineDivergenceLimit <= 1)) std::abort();
        if (!(config->sameSceneStructureLimit >= 0 && config->sameSceneStructureLimit <= 1)) std::abort();
        (void)config->requiresUpdate(bytes);
    }
    (void)BalanceResponse::decode(bytes);
    if (auto products = ProProductsResponse::decode(bytes)) {
        for (const auto& product : products->products) (void)product.displayPrice(std::string("EUR"));
    }
    if (auto decoded = base64Decoded(bytes)) {
        if (decoded->size() > bytes.size()) std::abort();
    }
    std::string text = utf8Repaired(bytes);
    if (utf8OrEmpty(text) != text) std::abort();
    std::string shown = BackendError::httpError(500, text).errorDescription();
    if (utf8OrEmpty(shown) != shown) std::abort();
    return 0;
}
