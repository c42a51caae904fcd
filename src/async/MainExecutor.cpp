#include "async/MainExecutor.h"

#include <atomic>
#include <cassert>

namespace oxel {

namespace {
std::atomic<MainExecutor*> installed{nullptr};
}

MainExecutor& mainExecutor()
{
    MainExecutor* executor = installed.load();
    assert(executor && "no main executor installed");
    return *executor;
}

bool hasMainExecutor()
{
    return installed.load() != nullptr;
}

MainExecutor* installMainExecutor(MainExecutor* executor)
{
    return installed.exchange(executor);
}

} // namespace oxel
