#include "model/AppModel.h"

#include "async/Offload.h"
#include "async/Sleep.h"
#include "backend/AccountEndpoints.h"
#include "backend/FunnelEvents.h"
#include "model/CheckoutLink.h"

namespace oxel {

void AppModel::buy(const ProProduct& product)
{
    auto userId = accountId();
    if (!userId) return;
    auto link = checkoutLink(product, *userId);
    if (!link) return;
    services_.openURL(*link);
    sendFunnelEvent(FunnelEvent::purchaseScreenViewed, std::nullopt, Json{{"product", product.id}});
    tasks_->spawn(awaitShots(balance_ ? std::optional(balance_->balance) : std::nullopt));
}

Task<void> AppModel::awaitShots(std::optional<int64_t> before)
{
    // Only a rise over a known balance was bought: without one, the roll is counted first, and
    // a count that cannot be had yet is taken from the first balance that arrives.
    if (!before) {
        co_await refreshBalance();
        if (balance_) before = balance_->balance;
    }
    for (int pass = 0; pass < shotsPolls; ++pass) {
        co_await sleepFor(shotsPoll);
        co_await refreshBalance();
        if (!balance_) continue;
        const int64_t now = balance_->balance;
        if (!before) before = now;
        if (now > *before) {
            setStatusLine(std::to_string(now - *before) + " shots added to the roll", StatusKind::passing);
            co_return;
        }
    }
}

Task<void> AppModel::refreshProducts()
{
    if (fetchingProducts_) {
        Completion<bool> fetched;
        productsWaiters_.push_back(fetched);
        co_await fetched.value();
        co_return;
    }
    fetchingProducts_ = true;
    auto fetch = [](std::stop_token stop) { return fetchProducts(stop); };
    auto answer = co_await offload(services_.pool, WorkPriority::userInitiated, tasks_->token(), fetch);
    fetchingProducts_ = false;
    if (answer) publish(products_, std::optional(std::move(answer).value()), Field::products);
    for (auto& waiter : std::exchange(productsWaiters_, {})) waiter.complete(true);
}

} // namespace oxel
