#include "model/AppModel.h"

#include <algorithm>

namespace oxel {

void AppModel::remove(const std::shared_ptr<BatchItem>& item)
{
    const auto id = item->id;
    auto kept = items_;
    std::erase_if(kept, [&](const auto& held) { return held->id == id; });
    setItems(std::move(kept));
    if (lightbox_ && lightbox_->id == id) setLightbox(nullptr);
    if (items_.empty()) setScreen(Screen::input);
    if (!batch_) return;
    auto record = *batch_;
    std::erase(record.images, id);
    setBatch(std::move(record));
    saving_.forget(id);
    services_.library.removeImageFolder(batch_->id, id);
    saving_.markBatch();
}

std::optional<AppModel::ReportTarget> AppModel::reportTarget(const BatchItem& item) const
{
    const auto& result = item.result();
    if (!result || result->colourOnly || result->jobId.empty() || result->jobId.starts_with("local-"))
        return std::nullopt;
    auto userId = accountId();
    if (!userId) return std::nullopt;
    return ReportTarget{result->jobId, *userId};
}

} // namespace oxel
