#include "model/AppModel.h"

#include "async/WorkAhead.h"
#include "develop/SourceImage.h"
#include "library/OriginalRef.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace oxel {

namespace fs = std::filesystem;

struct AppModel::Imported {
    SourceImage source;
    std::optional<PictureHandle> thumbnail;
    OriginalRef original;
};

struct AppModel::Arrival {
    fs::path url;
    Imported imported;
};

namespace {

using ReadResult = std::optional<AppModel::Imported>;

} // namespace

// Off the main thread: the original, its thumbnail and its reference, or nothing when the file
// cannot be read as a picture.
static std::optional<AppModel::Imported> readOriginal(const fs::path& url, bool handoff,
                                                      const std::optional<std::string>& sender)
{
    try {
        auto source = SourceImage::load(url);
        std::optional<PictureHandle> thumbnail = source.thumbnailPicture(SourceImage::intakeThumbnailPixels);
        auto original = OriginalRef::make(url, source, handoff, sender);
        return AppModel::Imported{std::move(source), std::move(thumbnail), std::move(original)};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void AppModel::addDropped(const std::vector<fs::path>& urls)
{
    launchedByHandoff = false;
    photographerActs();
    std::vector<fs::path> files;
    int notPictures = 0;
    for (const auto& url : urls) {
        std::error_code error;
        if (fs::is_directory(url, error)) {
            auto children = expandFolder(url);
            files.insert(files.end(), children.pictures.begin(), children.pictures.end());
            notPictures += children.notPictures;
        } else {
            files.push_back(url);
        }
    }
    add(files, Origin::opened, "dropped", std::nullopt, notPictures);
}

void AppModel::add(const std::vector<fs::path>& urls, Origin origin, std::string label,
                   std::optional<std::string> sender, int notPictures)
{
    IntakeTally tally;
    tally.notPictures = notPictures;
    // One photograph, one item: the known files grow while the list is walked, and include the
    // imports still on their way.
    std::set<fs::path> known;
    for (const auto& item : items_) known.insert(standardized(item->url()));
    for (const auto& [file, count] : pendingImports_) known.insert(file);
    std::vector<fs::path> selected;
    for (const auto& url : urls)
        if (known.insert(standardized(url)).second) selected.push_back(url);
    if (auto skipped = tally.line()) setStatusLine(std::move(skipped));
    if (selected.empty()) return;
    for (const auto& url : selected) ++pendingImports_[standardized(url)];
    setLastBatchSource(std::move(label));
    setScreen(Screen::input);
    tasks_->spawn(importAll(std::move(selected), origin, std::move(sender), tally, batchGeneration_));
}

void AppModel::settlePending(const fs::path& url)
{
    auto pending = pendingImports_.find(standardized(url));
    if (pending != pendingImports_.end() && --pending->second == 0) pendingImports_.erase(pending);
}

Task<void> AppModel::importAll(std::vector<fs::path> urls, Origin origin, std::optional<std::string> sender,
                               IntakeTally tally, uint64_t generation)
{
    // Reads run ahead, as many at once as there are cores, each started as soon as another ends,
    // whether or not the main thread has taken the ones before; items are appended in list order.
    const bool handoff = origin == Origin::handoff;
    const WorkAhead<ReadResult> reads(
        services_.pool, WorkPriority::userInitiated, urls.size(), std::max(1u, std::thread::hardware_concurrency()),
        [urls, handoff, sender](size_t index) { return readOriginal(urls[index], handoff, sender); });
    // The reads done by the time their turn comes join the list together, in one change.
    std::vector<Arrival> arriving;
    const auto append = [&] {
        if (!arriving.empty()) appendImported(std::exchange(arriving, {}), origin);
    };
    for (size_t next = 0; next < urls.size(); ++next) {
        auto imported = co_await reads.result(next);
        // A new or opened batch meanwhile: the rest of this drop belongs to none.
        if (generation != batchGeneration_) co_return;
        settlePending(urls[next]);
        if (imported) {
            arriving.push_back({urls[next], std::move(*imported)});
        } else {
            append();
            tally.couldNotRead(urls[next]);
            setStatusLine(tally.line());
        }
        if (next + 1 == urls.size() || !reads.finished(next + 1)) append();
    }
}

void AppModel::appendImported(std::vector<Arrival> arrivals, Origin origin)
{
    auto items = items_;
    std::vector<std::shared_ptr<BatchItem>> added;
    for (auto& arrival : arrivals) {
        added.push_back(importedItem(arrival.url, origin, std::move(arrival.imported)));
        items.push_back(added.back());
    }
    setItems(std::move(items));
    if (!batch_) return;
    auto record = *batch_;
    for (const auto& item : added) record.images.push_back(item->id);
    setBatch(std::move(record));
    for (const auto& item : added) saveImported(*item, batch_->id);
    saving_.markBatch();
}

std::shared_ptr<BatchItem> AppModel::importedItem(const fs::path& url, Origin origin, Imported imported)
{
    const bool eightBit = imported.source.bitsPerComponent < 16;
    const bool profileFellBack = imported.source.profileFellBack;
    auto item = BatchItem::make(Uuid::random(), url, origin, std::move(imported.source), std::move(imported.thumbnail));
    item->original = std::move(imported.original);
    if (profileFellBack)
        item->setNote("no rgb profile · treated as sRGB");
    else if (eightBit && origin == Origin::handoff)
        item->setNote("8-bit hand-off · 16-bit would be kinder to the layers");
    return item;
}

void AppModel::saveImported(const BatchItem& item, const Uuid& batch)
{
    if (auto record = item.record()) saving_.saveImage(*record);
    writeOriginalCopy(item, batch);
}

void AppModel::writeOriginalCopy(const BatchItem& item, const Uuid& batch)
{
    if (!item.thumbnail()) return;
    if (auto bitmap = item.thumbnail()->bitmap())
        services_.library.writeJPEG(*bitmap, originalCopyPixels,
                                    services_.library.imageFolder(batch, item.id) / "original.jpg",
                                    originalCopyQuality);
}

} // namespace oxel
