#include "ui/ItemsWatch.h"

#include "model/AppModel.h"

#include <algorithm>

namespace oxel {

ItemsWatch::ItemsWatch(AppModel& model, std::initializer_list<BatchItem::Field> fields, std::function<void()> changed)
    : model_(model), fields_(fields), changed_(std::move(changed))
{
    modelChanged_ = model_.changed.connect([this](AppModel::Field field) {
        if (field != AppModel::Field::items) return;
        watchItems();
        changed_();
    });
    watchItems();
}

void ItemsWatch::watchItems()
{
    itemsChanged_.clear();
    for (const auto& item : model_.items())
        itemsChanged_.push_back(item->changed.connect([this](BatchItem::Field field) {
            if (std::find(fields_.begin(), fields_.end(), field) != fields_.end()) changed_();
        }));
}

} // namespace oxel
