#include "model/AppModel.h"

#include "async/Sleep.h"

namespace oxel {

void AppModel::refreshBalanceSoon()
{
    balanceWanted_ = true;
    if (balanceGathering_) return;
    balanceGathering_ = true;
    tasks_->spawn(gatherBalanceFetches());
}

Task<void> AppModel::gatherBalanceFetches()
{
    // One fetch at a time, so an older answer never lands after a newer one.
    while (balanceWanted_) {
        const bool cancelled = co_await sleepFor(balanceGathering, tasks_->token());
        if (cancelled) break;
        balanceWanted_ = false;
        co_await refreshBalance();
    }
    balanceGathering_ = false;
}

} // namespace oxel
