#pragma once

#include "async/Signal.h"
#include "library/BatchItem.h"

#include <functional>
#include <initializer_list>
#include <vector>

namespace oxel {

class AppModel;

// Hears the given fields of every item of the open batch, following the batch as items come and
// go, for views whose rules read other items than their own.
class ItemsWatch {
public:
    ItemsWatch(AppModel& model, std::initializer_list<BatchItem::Field> fields, std::function<void()> changed);

private:
    void watchItems();

    AppModel& model_;
    std::vector<BatchItem::Field> fields_;
    std::function<void()> changed_;
    Connection modelChanged_;
    std::vector<Connection> itemsChanged_;
};

} // namespace oxel
