#include "ondevice/LanguageModel.h"

#include "ondevice/ChatCompletionsModel.h"

namespace oxel {

LanguageModel& LanguageModel::shared()
{
    // Made once and kept to the end of the process: its probes must not outlive it.
    static LanguageModel* model = ChatCompletionsModel::choose(ChatCompletionsModel::Environment::standard()).release();
    return *model;
}

} // namespace oxel
