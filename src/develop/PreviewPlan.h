#pragma once

#include "develop/transfer/PlanVerdict.h"
#include "develop/transfer/TransferPlan.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace oxel {

// The plan a result is previewed with. A delivered result's plan is made as it arrives; a result
// restored from the library knows its verdict from the record and makes the plan the first time a
// picture of it is developed, so reopening a large batch does not plan every result before any is
// shown. The rules that only read the verdict (notes, whether the light track moves) never wait.
class PreviewPlan {
public:
    using Maker = std::function<std::optional<TransferPlan>()>;

    PreviewPlan() = default;
    PreviewPlan(std::optional<TransferPlan> plan);
    PreviewPlan(TransferPlan plan);
    // `make` runs at most once, on whichever thread first asks for the plan.
    static PreviewPlan deferred(PlanVerdict verdict, Maker make);

    explicit operator bool() const { return verdict_.matched; }
    const PlanVerdict& verdict() const { return verdict_; }
    float divergence() const { return verdict_.divergence; }
    // The plan, made now when it was deferred (blocking until then); none when the render did not
    // match, or when planning again found what the verdict did not.
    const TransferPlan* made() const;

private:
    struct Deferred {
        std::once_flag once;
        Maker make;
        std::optional<TransferPlan> plan;
    };

    PlanVerdict verdict_;
    std::optional<TransferPlan> plan_;
    std::shared_ptr<Deferred> deferred_;
};

} // namespace oxel
