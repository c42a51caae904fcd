#include "model/AppModel.h"

#include "async/AsyncGate.h"
#include "async/MainExecutor.h"
#include "async/Offload.h"
#include "backend/AccountEndpoints.h"
#include "backend/FunnelEvents.h"
#include "export/Exporter.h"
#include "model/ExportProgressFilter.h"
#include "model/IntakeFiles.h"
#include "platform/Joined.h"

#include <set>
#include <system_error>

namespace oxel {

namespace fs = std::filesystem;

// One file an export sheet asked for: where it goes and how it is written.
struct AppModel::ExportPlan {
    fs::path url;
    ExportOptions options;
};

namespace {

// "IMG_7-oxel.psd", then "IMG_7-oxel-2.psd", ...: the first name neither on disk nor planned
// earlier in the same export.
fs::path freeExportName(const fs::path& folder, const std::string& base, const std::string& tag, ExportFormat format,
                        std::set<fs::path>& taken)
{
    const std::string extension(temporaryExtension(format));
    auto candidate = folder / (base + "-" + tag + "." + extension);
    for (int n = 2;; ++n) {
        // A name that can't even be looked up (too long, say) is taken as it is: its write then
        // fails and says why, instead of the search going on for ever.
        std::error_code error;
        const bool onDisk = fs::exists(candidate, error);
        if (error || (!onDisk && !taken.contains(candidate))) break;
        candidate = folder / (base + "-" + tag + "-" + std::to_string(n) + "." + extension);
    }
    taken.insert(candidate);
    return candidate;
}

bool carriesLayers(ExportFormat format)
{
    return format == ExportFormat::psd || format == ExportFormat::tiff;
}

std::optional<std::string> exportNote(const ExportReport& report, Origin origin)
{
    std::vector<std::string> notes;
    if (report.note) notes.push_back(*report.note);
    if (!report.layered && origin == Origin::handoff && !carriesLayers(report.format))
        notes.push_back("flat " + std::string(rawValue(report.format)) + " · layers need psd or tiff");
    if (report.hdr) notes.emplace_back("hdr kept");
    if (notes.empty()) return std::nullopt;
    return joined(notes, " · ");
}

FlatWriteServices exportServices()
{
    FlatWriteServices services;
    services.reportDetailTransfer = [](const Json& metadata) {
        sendFunnelEvent(FunnelEvent::detailTransfer, std::nullopt, metadata);
    };
    return services;
}

Task<void> downloadResult(WorkPool& pool, std::string jobId, std::string userId)
{
    auto mark = [jobId, userId] { markDownloaded(jobId, userId); };
    co_await offload(pool, WorkPriority::utility, std::move(mark));
}

} // namespace

AsyncGate& AppModel::exportGate()
{
    if (!exportGate_) exportGate_ = std::make_shared<AsyncGate>(exportTurns);
    return *exportGate_;
}

int AppModel::exportTurnsHeld() const
{
    return exportGate_ ? exportGate_->holders() : 0;
}

void AppModel::exportTo(const std::vector<ExportOptions>& options, const fs::path& folder)
{
    if (options.empty()) return;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        setStatusLine("export failed · could not make the folder " + folder.string() + ": " + error.message());
        return;
    }
    std::set<fs::path> taken;
    int alreadyExporting = 0;
    int withoutOriginal = 0;
    for (const auto& item : items_) {
        if (!item->result()) continue;
        if (!item->source()) {
            ++withoutOriginal;
            continue;
        }
        if (item->exportProgress()) {
            ++alreadyExporting;
            continue;
        }
        const auto base = item->url().stem().string();
        const std::string tag = item->result()->colourOnly ? "colour-only" : "oxel";
        std::vector<ExportPlan> plan;
        for (const auto& entry : options) {
            auto target = folder;
            if (options.size() > 1) {
                target /= std::string(rawValue(entry.format));
                std::error_code ignored; // a write into a missing folder fails and says so
                fs::create_directories(target, ignored);
            }
            plan.push_back({freeExportName(target, base, tag, entry.format, taken), entry});
        }
        item->setExportProgress(0);
        item->setExportWaiting(true);
        ++exportsPending_;
        tasks_->spawn(runExportPlan(item, std::move(plan)));
    }
    // The sheet promised every developed picture: say which were left out, and why.
    std::string untouched;
    if (alreadyExporting >= 1) untouched = std::to_string(alreadyExporting) + " already exporting · not exported again";
    if (withoutOriginal >= 1)
        untouched +=
            (untouched.empty() ? "" : " · ") + std::to_string(withoutOriginal) + " not exported · original not loaded";
    if (!untouched.empty()) setStatusLine(untouched);
}

Task<void> AppModel::runExportPlan(std::shared_ptr<BatchItem> item, std::vector<ExportPlan> plan)
{
    auto turn = co_await exportGate().enter();
    std::vector<std::string> failures;
    for (size_t i = 0; i < plan.size(); ++i) {
        auto failure = co_await exportItem(item, plan[i].url, plan[i].options, i == 0);
        if (failure) failures.push_back(std::string(rawValue(plan[i].options.format)) + ": " + *failure);
    }
    if (!failures.empty()) {
        item->setLastError(joined(failures, " · "));
        item->setNote("export failed · " + *item->lastError());
    }
    turn.release();
    --exportsPending_;
}

void AppModel::startExport(const std::shared_ptr<BatchItem>& item, fs::path url, ExportOptions options,
                           bool markDownloaded)
{
    item->setExportProgress(0);
    item->setExportWaiting(true);
    ++exportsPending_;
    tasks_->spawn(exportOne(item, std::move(url), std::move(options), markDownloaded));
}

Task<void> AppModel::exportOne(std::shared_ptr<BatchItem> item, fs::path url, ExportOptions options,
                               bool markDownloaded)
{
    auto turn = co_await exportGate().enter();
    co_await exportItem(item, std::move(url), std::move(options), markDownloaded);
    turn.release();
    --exportsPending_;
}

// Writes one file of one picture and records the outcome on it; answers the failure's text.
Task<std::optional<std::string>> AppModel::exportItem(std::shared_ptr<BatchItem> item, fs::path url,
                                                      ExportOptions options, bool markDownloaded,
                                                      std::function<std::optional<std::string>()> beforeReplacing)
{
    item->setExportWaiting(false);
    auto result = item->result();
    if (!result || !item->source()) {
        item->setExportProgress(std::nullopt);
        co_return std::nullopt;
    }
    const double strength = this->strength(*item);
    const double colour = this->colour(*item);
    const bool alternative = item->useAlternative();
    item->setExportProgress(0);
    item->setLastError(std::nullopt);

    // Progress is posted to the main thread in order, ahead of the outcome; closing the filter
    // with the outcome drops anything that would still come after it.
    auto filter = std::make_shared<ExportProgressFilter>();
    std::weak_ptr<BatchItem> weakItem = item;
    ExportProgress progress = [filter, weakItem](double value) {
        if (!filter->pass(value)) return;
        mainExecutor().post([filter, weakItem, value] {
            if (!filter->open()) return;
            if (auto target = weakItem.lock()) target->setExportProgress(value);
        });
    };
    WorkPool& pool = services_.pool;
    // Named, not a temporary of the co_await expression: the compiler mishandles those.
    auto render = [source = *item->source(), result, alternative, strength, colour, url, options,
                   progress = std::move(progress), beforeReplacing = std::move(beforeReplacing)] {
        auto services = exportServices();
        services.beforeReplacing = beforeReplacing;
        return exportPicture(source, *result, alternative, strength, colour, url, options, progress, services);
    };
    auto outcome = co_await offload(pool, WorkPriority::userInitiated, std::move(render));
    filter->close();
    item->setExportProgress(std::nullopt);

    if (auto* failure = std::get_if<ExportFailure>(&outcome)) {
        auto text = failure->description();
        item->setLastError(text);
        item->setNote("export failed · " + text);
        co_return text;
    }
    const auto& report = std::get<ExportReport>(outcome);
    item->setExportedTo(report.url);
    item->setPhase(phase::Exported{});
    item->setNote(exportNote(report, item->origin));
    if (auto userId = accountId(); markDownloaded && !result->colourOnly && userId)
        tasks_->spawn(downloadResult(pool, result->jobId, *userId));
    item->exports.push_back(
        ExportRecord{report.url.string(), std::string(rawValue(report.format)), services_.clock.now()});
    const bool sentBack = item->origin == Origin::handoff && standardized(report.url) == standardized(item->url());
    if (sentBack) item->sentBack = FileStamp::of(report.url);
    saving_.mark(*item);
    // Until the stamp is on disk, a reopened batch would take the sent-back file for the original.
    if (sentBack) saveNow();
    co_return std::nullopt;
}

} // namespace oxel
