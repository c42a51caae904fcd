#include "model/AppModel.h"

#include "async/Offload.h"
#include "async/Sleep.h"
#include "model/HandedOverFile.h"

#include <algorithm>

namespace oxel {

namespace fs = std::filesystem;

namespace {

bool developedHandOff(const BatchItem& item)
{
    return item.origin == Origin::handoff && item.result() && item.source();
}

// Whether send back writes the item's result over its host's file: not when the file the
// photographer located stands in for it, nor while that file is missing.
bool writesBack(const BatchItem& item)
{
    if (!developedHandOff(item) || (item.original && item.original->relinked)) return false;
    return item.availability().kind == Availability::Kind::present;
}

std::string notSentBack(std::string_view why)
{
    return "not sent back · " + std::string(why);
}

} // namespace

std::vector<std::shared_ptr<BatchItem>> AppModel::sendBackItems() const
{
    std::vector<std::shared_ptr<BatchItem>> handedOver;
    for (const auto& item : items_)
        if (writesBack(*item)) handedOver.push_back(item);
    return handedOver;
}

void AppModel::sendBack()
{
    // A copy the photographer located is left out of the count: its tile says why, unless it is
    // being or has been exported as it says to.
    for (const auto& item : items_)
        if (developedHandOff(*item) && item->original && item->original->relinked && !item->exportProgress() &&
            !item->phase().is<phase::Exported>())
            item->setNote(notSentBack(HandedOverFile::located));
    auto items = sendBackItems();
    std::erase_if(items, [](const auto& item) { return item->exportProgress().has_value(); });
    if (items.empty()) return;
    for (const auto& item : items) {
        ExportOptions options;
        options.colour = ExportColour::embedded;
        options.jpegQuality = 0.95;
        options.tiffLayered = true;
        options.inheritCaptureDate = true;
        // Whoever waits for pictures to go back (a waiting start) rereads the items.
        exports_.start(
            item, [this, item, options] { return sendBackOne(item, options); }, [this] { changed.emit(Field::items); });
    }
    if (launchedByHandoff) tasks_->spawn(watchSendBack(std::move(items)));
}

// The export of one picture over the file it was handed over in. The file's own bytes decide the
// format, and it is written only while it is still what was handed over (or last sent back), never
// when the photographer located the picture elsewhere. Before the first write the true original is
// copied aside and afterwards developed from that copy.
Task<void> AppModel::sendBackOne(std::shared_ptr<BatchItem> item, ExportOptions options)
{
    const auto url = item->url();
    std::optional<FileStamp> expected = item->sentBack;
    if (!expected && item->original) expected = item->original->stamp;
    if (!expected && item->source()) expected = FileStamp::of(item->source()->stamp);
    const auto copy = originalCacheURL(item->id);
    const bool firstWrite = !item->sentBack;
    WorkPool& pool = services_.pool;
    auto check = [url, expected, copy, firstWrite] {
        return HandedOverFile::check(url, expected, firstWrite ? std::optional(copy) : std::nullopt);
    };
    HandedOverFile checked{std::nullopt, std::string(HandedOverFile::located), std::nullopt};
    if (!item->original || !item->original->relinked)
        checked = co_await offload(pool, WorkPriority::userInitiated, std::move(check));
    auto refuse = [&item](const std::string& why) {
        item->setLastError(why);
        item->setNote(notSentBack(why));
    };
    if (!checked.format) {
        item->setExportWaiting(false);
        item->setExportProgress(std::nullopt);
        refuse(checked.refusal);
    } else {
        options.format = *checked.format;
        options.sixteenBit =
            options.format == ExportFormat::psd || (item->source() && item->source()->bitsPerComponent > 15);
        const auto written = item->exports.size();
        // The host may save its file while the export runs: the check is made again just before
        // the rename.
        auto refusal = std::make_shared<std::optional<std::string>>();
        auto stillChecked = [url, state = *checked.state, refusal] {
            *refusal = HandedOverFile::changedSinceCheck(url, state);
            return *refusal;
        };
        co_await exportItem(item, url, options, true, std::move(stillChecked));
        if (*refusal) refuse(**refusal);
        const bool wentBack = item->exports.size() > written && item->sentBack;
        if (wentBack && (!item->source() || item->source()->url != copy)) {
            auto load = [copy]() -> std::optional<SourceImage> {
                try {
                    return SourceImage::load(copy);
                } catch (const std::exception&) {
                    return std::nullopt;
                }
            };
            auto original = co_await offload(pool, WorkPriority::userInitiated, std::move(load));
            if (original) item->setSource(std::move(original));
        }
    }
}

Task<void> AppModel::watchSendBack(std::vector<std::shared_ptr<BatchItem>> items)
{
    auto busy = [&] {
        return exports_.pending() >= 1 ||
               std::any_of(items.begin(), items.end(), [](const auto& item) { return item->exportProgress(); });
    };
    while (busy()) co_await sleepFor(sendBackPoll);
    if (!launchedByHandoff || inFlightCount() != 0) co_return;
    for (const auto& item : items)
        if (item->lastError() || !item->sentBack) co_return;
    // A developed picture that could not go back stays open to be exported.
    for (const auto& item : items_)
        if (developedHandOff(*item) && !item->sentBack) co_return;
    setStatusLine("sent back to " + handoffSender.value_or("where they came from") + " · closing");
    co_await sleepFor(sendBackClosing);
    services_.control.requestQuit();
}

} // namespace oxel
