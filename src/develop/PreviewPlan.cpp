#include "develop/PreviewPlan.h"

namespace oxel {

PreviewPlan::PreviewPlan(std::optional<TransferPlan> plan)
    : verdict_{plan.has_value(), plan ? plan->divergence : 0.0f}, plan_(std::move(plan))
{}

PreviewPlan::PreviewPlan(TransferPlan plan) : PreviewPlan(std::optional<TransferPlan>(std::move(plan)))
{}

PreviewPlan PreviewPlan::deferred(PlanVerdict verdict, Maker make)
{
    PreviewPlan deferred;
    deferred.verdict_ = verdict;
    if (verdict.matched) {
        deferred.deferred_ = std::make_shared<Deferred>();
        deferred.deferred_->make = std::move(make);
    }
    return deferred;
}

const TransferPlan* PreviewPlan::made() const
{
    if (!deferred_) return plan_ ? &*plan_ : nullptr;
    Deferred& state = *deferred_;
    std::call_once(state.once, [&state] {
        if (state.make) state.plan = state.make();
        state.make = nullptr; // what it captured (the original's reduced decode) is let go
    });
    return state.plan ? &*state.plan : nullptr;
}

} // namespace oxel
