#include "model/AppModel.h"

#include "async/MainExecutor.h"
#include "async/Offload.h"
#include "backend/AccountEndpoints.h"
#include "backend/FunnelEvents.h"
#include "export/Exporter.h"
#include "model/ExportProgressFilter.h"
#include "model/IntakeFiles.h"
#include "platform/FileBookmark.h"
#include "platform/Joined.h"

#include <set>
#include <system_error>

namespace oxel {

namespace fs = std::filesystem;

namespace {

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

void AppModel::installExportCallbacks()
{
    // The turns are a member, so their callbacks cannot outlive the model.
    exports_.spawn = [this](Task<void> task) { tasks_->spawn(std::move(task)); };
    exports_.exportFile = [this](std::shared_ptr<BatchItem> item, fs::path url, ExportOptions options,
                                 bool markDownloaded) {
        return exportItem(std::move(item), std::move(url), std::move(options), markDownloaded);
    };
}

void AppModel::exportTo(const std::vector<ExportOptions>& options, const fs::path& folder)
{
    if (options.empty()) return;
    photographerActs();
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
        const std::string tag(exportTag(item->result()->colourOnly));
        exports_.start(item, ExportTurns::plan(*item, tag, options, folder, taken));
    }
    // The sheet promised every developed picture: say which were left out, and why.
    std::string untouched;
    if (alreadyExporting >= 1) untouched = std::to_string(alreadyExporting) + " already exporting · not exported again";
    if (withoutOriginal >= 1)
        untouched +=
            (untouched.empty() ? "" : " · ") + std::to_string(withoutOriginal) + " not exported · original not loaded";
    // Pictures already on their way are news; pictures left without their original are a failure.
    if (!untouched.empty()) setStatusLine(untouched, withoutOriginal >= 1 ? StatusKind::standing : StatusKind::passing);
}

void AppModel::startExport(const std::shared_ptr<BatchItem>& item, fs::path url, ExportOptions options,
                           bool markDownloaded)
{
    exports_.start(item, [this, item, url = std::move(url), options = std::move(options), markDownloaded] {
        return exportOne(item, url, options, markDownloaded);
    });
}

Task<void> AppModel::exportOne(std::shared_ptr<BatchItem> item, fs::path url, ExportOptions options,
                               bool markDownloaded)
{
    co_await exportItem(std::move(item), std::move(url), std::move(options), markDownloaded);
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
    const DevelopSettings settings = developSettings(*item);
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
    auto render = [source = *item->source(), result, settings, url, options, progress = std::move(progress),
                   beforeReplacing = std::move(beforeReplacing)] {
        auto services = exportServices();
        services.beforeReplacing = beforeReplacing;
        return exportPicture(source, *result, settings, url, options, progress, services);
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
    // The result is out of the program now: its delivery is confirmed, whether it is stored yet or not.
    runner_.confirm(*item, result->jobId);
    item->setExportedTo(report.url);
    item->setPhase(phase::Exported{});
    item->setNote(exportNote(report, item->origin));
    if (auto userId = accountId(); markDownloaded && !result->colourOnly && userId)
        tasks_->spawn(downloadResult(pool, result->jobId, *userId));
    item->exports.push_back(
        ExportRecord{report.url.string(), std::string(rawValue(report.format)), services_.clock.now()});
    const bool sentBack = item->origin == Origin::handoff && standardized(report.url) == standardized(item->url());
    if (sentBack) {
        item->sentBack = FileStamp::of(report.url);
        // The write put a new file in the old one's place: the reference finds that one from now
        // on, not whichever file takes the old one's inode.
        if (item->original) item->original->bookmark = FileBookmark::make(report.url, originalPlaces().volumes);
    }
    saving_.mark(*item);
    // Until the stamp is on disk, a reopened batch would take the sent-back file for the original.
    if (sentBack) saveNow();
    co_return std::nullopt;
}

} // namespace oxel
