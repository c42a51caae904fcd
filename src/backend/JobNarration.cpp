#include "backend/JobNarration.h"

namespace oxel {

JobNarration JobNarration::read(const Json& value)
{
    const Json& object = requireObject(value, "the narration");
    return JobNarration{
        optionalTextList(object, "descriptors"),
        optionalText(object, "perceived_intent"),
        optionalText(object, "direction"),
    };
}

} // namespace oxel
