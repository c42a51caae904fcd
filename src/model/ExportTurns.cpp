#include "model/ExportTurns.h"

#include "async/AsyncGate.h"
#include "platform/Joined.h"

#include <system_error>

namespace oxel {

namespace fs = std::filesystem;

namespace {

// "IMG_7-oxel.psd", then "IMG_7-oxel-2.psd", ...: the first name neither on disk nor planned
// earlier in the same export.
fs::path freeExportName(const fs::path& folder, const std::string& base, const std::string& tag, ExportFormat format,
                        std::set<fs::path>& taken)
{
    auto candidate = folder / exportFileName(base, tag, format);
    for (int n = 2;; ++n) {
        // A name that can't even be looked up (too long, say) is taken as it is: its write then
        // fails and says why, instead of the search going on for ever.
        std::error_code error;
        const bool onDisk = fs::exists(candidate, error);
        if (error || (!onDisk && !taken.contains(candidate))) break;
        candidate = folder / exportFileName(base, tag, format, n);
    }
    taken.insert(candidate);
    return candidate;
}

} // namespace

ExportTurns::ExportTurns() = default;
ExportTurns::~ExportTurns() = default;

AsyncGate& ExportTurns::gate()
{
    if (!gate_) gate_ = std::make_shared<AsyncGate>(turns);
    return *gate_;
}

int ExportTurns::held() const
{
    return gate_ ? gate_->holders() : 0;
}

ExportTurns::Plan ExportTurns::plan(const BatchItem& item, const std::string& tag,
                                    const std::vector<ExportOptions>& options, const fs::path& folder,
                                    std::set<fs::path>& taken)
{
    const auto base = item.url().stem().string();
    Plan plan;
    for (const auto& entry : options) {
        auto target = folder;
        if (options.size() > 1) {
            target /= std::string(rawValue(entry.format));
            std::error_code ignored; // a write into a missing folder fails and says so
            fs::create_directories(target, ignored);
        }
        plan.push_back({freeExportName(target, base, tag, entry.format, taken), entry});
    }
    return plan;
}

void ExportTurns::start(const std::shared_ptr<BatchItem>& item, Plan plan)
{
    start(item, [this, item, plan = std::move(plan)] { return writePlan(item, plan); });
}

void ExportTurns::start(const std::shared_ptr<BatchItem>& item, Work work, std::function<void()> afterwards)
{
    item->setExportProgress(0);
    item->setExportWaiting(true);
    ++pending_;
    spawn(inTurn(std::move(work), std::move(afterwards)));
}

Task<void> ExportTurns::inTurn(Work work, std::function<void()> afterwards)
{
    auto turn = co_await gate().enter();
    // Named, not a temporary of the co_await expression: the compiler mishandles those.
    auto running = work();
    co_await std::move(running);
    turn.release();
    --pending_;
    if (afterwards) afterwards();
}

Task<void> ExportTurns::writePlan(std::shared_ptr<BatchItem> item, Plan plan)
{
    std::vector<std::string> failures;
    for (size_t i = 0; i < plan.size(); ++i) {
        auto writing = exportFile(item, plan[i].url, plan[i].options, i == 0);
        auto failure = co_await std::move(writing);
        if (failure) failures.push_back(std::string(rawValue(plan[i].options.format)) + ": " + *failure);
    }
    if (failures.empty()) co_return;
    item->setLastError(joined(failures, " · "));
    item->setNote("export failed · " + *item->lastError());
}

} // namespace oxel
