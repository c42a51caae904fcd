#include "ondevice/NoLanguageModel.h"

namespace oxel {

Task<ModelReply> NoLanguageModel::respond(ModelRequest, CancelToken)
{
    co_return ModelFailure{"no language model is set up"};
}

} // namespace oxel
