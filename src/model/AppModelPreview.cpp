#include "model/AppModel.h"

#include "async/Offload.h"
#include "async/Sleep.h"
#include "develop/DevelopOrder.h"
#include "library/JobOutcome.h"
#include "platform/Diagnostics.h"

#include <exception>

namespace oxel {

void AppModel::requestPreview(const std::shared_ptr<BatchItem>& item)
{
    if (!item || !item->result()) return;
    previewWanted_[item->id] = developSettings(*item);
    pumpPreviews(item);
}

void AppModel::pumpPreviews(const std::shared_ptr<BatchItem>& item)
{
    if (previewInFlight_.contains(item->id) || !item->result()) return;
    auto wanted = previewWanted_.find(item->id);
    if (wanted == previewWanted_.end()) return;
    const DevelopSettings settings = wanted->second;
    previewWanted_.erase(wanted);
    previewInFlight_.insert(item->id);
    tasks_->spawn(renderPreview(item, settings));
}

Task<void> AppModel::renderPreview(std::shared_ptr<BatchItem> item, DevelopSettings settings)
{
    // The preview is held by the shared picture cache and made again the same way once let go,
    // so the recipe keeps its own copy of the result and of the settings, grain included.
    auto render = [outcome = item->result(), settings] {
        return PictureHandle::madeNow([outcome, settings] { return renderDeveloped(*outcome, settings); });
    };
    std::optional<PictureHandle> picture;
    try {
        picture = co_await offload(services_.pool, WorkPriority::userInitiated, std::move(render));
    } catch (const std::exception& failure) {
        // Out of memory or a codec's own failure: the item shows no preview until the next request.
        diagnose("previews", std::string("rendering a preview failed: ") + failure.what());
    }
    previewFinished(item, std::move(picture));
}

void AppModel::previewFinished(const std::shared_ptr<BatchItem>& item, std::optional<PictureHandle> image)
{
    item->setPreviewImage(std::move(image));
    previewInFlight_.erase(item->id);
    if (!holds(item)) {
        // The item left the open batch while it rendered: nothing of it is written or rendered again.
        previewWanted_.erase(item->id);
        return;
    }
    if (!previewWanted_.contains(item->id)) saving_.markThumbnail(*item);
    pumpPreviews(item);
}

void AppModel::restartPreviewTask()
{
    if (previewPass_) previewPass_->cancel();
    previewPass_.emplace();
    tasks_->spawn(previewPass(previewPass_->token()));
}

Task<void> AppModel::previewPass(CancelToken cancel)
{
    co_await sleepFor(previewRestDelay, cancel);
    if (cancel.cancelled()) co_return;
    for (const auto& item : std::vector(items_))
        if (item->result()) requestPreview(item);
}

} // namespace oxel
