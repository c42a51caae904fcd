#include "model/AppModel.h"

#include "model/IntakeFiles.h"
#include "platform/AppFolders.h"
#include "platform/FileBookmark.h"

namespace oxel {

namespace fs = std::filesystem;

namespace {

constexpr const char* notTheSame = "that is not the same photograph";

bool isMissing(const BatchItem& item)
{
    return item.availability().kind != Availability::Kind::present && item.original.has_value();
}

} // namespace

fs::path AppModel::originalCacheURL(const Uuid& id) const
{
    return services_.originalsCache / (id.text() + ".handed-over");
}

OriginalPlaces AppModel::originalPlaces() const
{
    return {services_.volumes ? services_.volumes() : Volumes::current(), homeDirectory()};
}

void AppModel::locateOriginal(const std::shared_ptr<BatchItem>& item)
{
    if (!batch_ || !item->original) return;
    OpenPanel panel{"find " + item->url().filename().string(), false, false, {}, "use this one"};
    for (auto extension : pictureExtensions()) panel.extensions.emplace_back(extension);
    services_.control.comeToFront();
    auto choose = [](AppModel& model, OpenPanel panel, std::shared_ptr<BatchItem> item,
                     uint64_t generation) -> Task<void> {
        auto chosen = co_await model.services_.panels.choose(std::move(panel));
        if (!chosen || chosen->empty()) co_return;
        // The panel is modal to the window, but the batch may have changed under it all the same.
        if (generation != model.batchGeneration_ || !model.holds(item)) co_return;
        model.adoptLocatedOriginal(chosen->front(), item);
    };
    tasks_->spawn(choose(*this, std::move(panel), item, batchGeneration_));
}

void AppModel::adoptLocatedOriginal(const fs::path& file, const std::shared_ptr<BatchItem>& item)
{
    if (!batch_ || !item->original) return;
    if (!relinkTo(item, file)) {
        setStatusLine(notTheSame);
        return;
    }
    // Other missing originals that lay beside it are likely to have moved with it.
    const auto items = items_;
    for (const auto& other : items) {
        if (other == item || !isMissing(*other)) continue;
        const fs::path candidate = file.parent_path() / fs::path(other->original->path).filename();
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) relinkTo(other, candidate);
    }
}

// Relinks the item to `file` when it is the same photograph; false when it is not.
bool AppModel::relinkTo(const std::shared_ptr<BatchItem>& item, const fs::path& file)
{
    const Volumes volumes = originalPlaces().volumes;
    OriginalRef ref = *item->original;
    ref.path = file.string();
    ref.bookmark = FileBookmark::make(file, volumes);
    ref.volume = volumes.volumeName(file);
    // The file a result went back over, moved by its host: still the host's file, developed from
    // the original kept aside and written back to again.
    if (auto sentBack = OriginalCheck::ofSentBack(file, ref, item->sentBack, originalCacheURL(item->id))) {
        if (auto* found = std::get_if<OriginalCheck::Found>(&sentBack->answer)) {
            item->original = std::move(ref);
            relinkOriginal(item, std::move(found->source), file);
            return true;
        }
    }
    const fs::path libraryOriginal = services_.library.imageFolder(batch_->id, item->id) / "original.jpg";
    auto source = sameImage(file, *item->original, libraryOriginal);
    if (!source) return false;
    ref.relinked = ref.relinked || (ref.handoff && standardized(file) != standardized(item->url()));
    ref.stamp = FileStamp::of(file);
    item->original = std::move(ref);
    item->sentBack.reset();
    relinkOriginal(item, std::move(*source), file);
    return true;
}

void AppModel::relinkOriginal(const std::shared_ptr<BatchItem>& item, SourceImage source, const fs::path& file)
{
    if (!batch_) return;
    const auto record = item->record();
    if (!record) return;
    item->setSource(std::move(source));
    item->setUrl(file);
    item->setAvailability(Availability::present());
    saving_.mark(*item);
    if (!record->hasResult()) {
        item->setPhase(phase::Ready{});
        resumeJobs(item, strength(*item));
        return;
    }
    item->setPhase(phase::Restoring{});
    tasks_->spawn(restoreItem(item, *record, batch_->id, batchGeneration_));
}

} // namespace oxel
