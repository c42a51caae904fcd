// Every reader of a model server's answers takes any bytes without crashing, and a draft it
// accepts always becomes an answer within the house's bounds.
#include "ondevice/ChatCompletionsWire.h"
#include "ondevice/ModelGrade.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace oxel;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    (void)ChatCompletionsWire::probeResult({200, bytes});
    (void)ChatCompletionsWire::completionText({503, bytes});
    const ModelReply reply = ChatCompletionsWire::completionText({200, bytes});
    const std::string text = std::holds_alternative<std::string>(reply) ? std::get<std::string>(reply) : bytes;
    const auto draft = ModelGradeDraft::fromAnswer(text);
    if (const auto* read = std::get_if<ModelGradeDraft>(&draft)) {
        const ModelGradeAnswer answer = ModelGrade::answer(*read);
        if (!(answer.strength >= ModelGrade::lowestStrength && answer.strength <= ModelGrade::highestStrength))
            std::abort();
        if (answer.grade.has_value() != answer.cell.has_value()) std::abort();
        if (answer.grade && answer.grade->look != answer.cell->look()) std::abort();
    }
    return 0;
}
