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

Task<void> AppModel::refreshBalanceUntilKnown()
{
    auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(balanceFirstRetry);
    for (int retry = 0;; ++retry) {
        co_await refreshBalance();
        if (balance_ || updateRequired_ || !auth_.state().hasAccount() || retry == balanceRetries) co_return;
        const bool cancelled = co_await sleepFor(wait, tasks_->token());
        if (cancelled) co_return;
        wait *= 2;
    }
}

void AppModel::ensureBalance()
{
    if (!balance_) tasks_->spawn(refreshBalance());
}

} // namespace oxel
