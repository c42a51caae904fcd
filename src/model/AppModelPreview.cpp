#include "model/AppModel.h"

namespace oxel {

void AppModel::installPreviewCallbacks()
{
    // The renderer is a member, so its callbacks cannot outlive the model.
    previews_.spawn = [this](Task<void> task) { tasks_->spawn(std::move(task)); };
    previews_.settingsFor = [this](const BatchItem& item) { return developSettings(item); };
    previews_.items = [this]() -> const PreviewRenderer::Items& { return items_; };
    previews_.newestShown = [this](const std::shared_ptr<BatchItem>& item) { saving_.markThumbnail(*item); };
}

} // namespace oxel
