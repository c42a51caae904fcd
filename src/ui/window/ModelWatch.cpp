#include "ui/window/ModelWatch.h"

namespace oxel {

ModelWatch::ModelWatch(QObject& view, AppModel& model, std::function<void()> refresh)
    : view_(&view), model_(model), refresh_(std::move(refresh))
{
    modelChanged_ = model_.changed.connect([this](AppModel::Field field) { modelChanged(field); });
}

ModelWatch& ModelWatch::model(ModelFields fields)
{
    modelFields_ = fields;
    return *this;
}

ModelWatch& ModelWatch::items(ItemFields fields)
{
    itemsFields_ = fields;
    followItems();
    return *this;
}

ModelWatch& ModelWatch::item(const std::shared_ptr<BatchItem>& item, ItemFields fields)
{
    itemFields_ = fields;
    itemChanged_.disconnect();
    if (!item) return *this;
    itemChanged_ = item->changed.connect([this](BatchItem::Field field) {
        if (itemFields_.contains(field)) request();
    });
    return *this;
}

void ModelWatch::modelChanged(AppModel::Field field)
{
    if (field == AppModel::Field::items && !itemsFields_.empty()) {
        followItems();
        request();
    }
    if (modelFields_.contains(field)) request();
}

void ModelWatch::followItems()
{
    itemsChanged_.clear();
    if (itemsFields_.empty()) return;
    for (const auto& item : model_.items())
        itemsChanged_.push_back(item->changed.connect([this](BatchItem::Field field) {
            if (itemsFields_.contains(field)) request();
        }));
}

void ModelWatch::request()
{
    if (pending_ || !view_) return;
    pending_ = true;
    // Queued on the view, so Qt drops the call when the view is deleted first.
    QMetaObject::invokeMethod(
        view_.data(),
        [this, alive = std::weak_ptr<bool>(alive_)] {
            if (alive.expired() || !pending_) return;
            runNow();
        },
        Qt::QueuedConnection);
}

void ModelWatch::runNow()
{
    pending_ = false;
    // A copy: the refresh may close the view, and the watch goes with it.
    const auto refresh = refresh_;
    refresh();
}

} // namespace oxel
