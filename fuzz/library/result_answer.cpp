// What the job runner keeps and shows of a backend's answers takes any bytes without crashing:
// the analysis kept from a result answer, the kept render's extension, and the failure text made
// from a status answer's code and detail.
#include "backend/Utf8Text.h"
#include "library/JobFailure.h"
#include "library/OutcomeBuild.h"
#include "platform/JsonFields.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace oxel;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    if (auto analysis = analysisJSON(bytes)) {
        // What is kept reads back as the JSON it was written from.
        auto again = parseJson(std::string_view(reinterpret_cast<const char*>(analysis->data()), analysis->size()));
        if (!again) std::abort();
    }
    const std::string extension = keptRenderExtension(std::span<const uint8_t>(data, size));
    if (extension != "png" && extension != "jpg") std::abort();

    const size_t half = size / 2;
    // Status answers reach the failure text as JSON strings, so as valid UTF-8.
    const std::string code = utf8Repaired(bytes.substr(0, half));
    const std::string detail = utf8Repaired(bytes.substr(half));
    const std::string text = failureText(code, detail);
    if (text.size() > 100 + detail.size()) std::abort();
    (void)statusNarration(bytes);
    return 0;
}
