#pragma once

#include "async/Signal.h"
#include "library/BatchItem.h"
#include "model/AppModel.h"

#include <QPointer>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

namespace oxel {

// Some of the fields an observable object announces.
template <typename Field>
class FieldSet {
public:
    FieldSet() = default;
    FieldSet(std::initializer_list<Field> fields)
    {
        for (Field field : fields) bits_ |= bit(field);
    }
    static FieldSet every()
    {
        FieldSet all;
        all.bits_ = ~uint64_t(0);
        return all;
    }
    bool contains(Field field) const { return (bits_ & bit(field)) != 0; }
    bool empty() const { return bits_ == 0; }

private:
    static uint64_t bit(Field field) { return uint64_t(1) << static_cast<unsigned>(field); }
    uint64_t bits_ = 0;
};

// What a view follows of the model, and its refresh, run once at the end of the event-loop turn in
// which any of it changed, however many changes came in that turn: a slider drag writes the model
// on every pointer move, and each write announces several fields. A view follows fields of the
// model, fields of every item of the open batch (following the batch as items come and go, which
// is itself a change), and fields of one item it shows. Owned by the view it refreshes; nothing
// runs once the view or the watch is gone.
class ModelWatch {
public:
    using ModelFields = FieldSet<AppModel::Field>;
    using ItemFields = FieldSet<BatchItem::Field>;
    static_assert(AppModel::fieldCount <= 64 && BatchItem::fieldCount <= 64, "a field set holds 64 fields");

    ModelWatch(QObject& view, AppModel& model, std::function<void()> refresh);
    ModelWatch(const ModelWatch&) = delete;
    ModelWatch& operator=(const ModelWatch&) = delete;

    // The model's fields that ask for a refresh.
    ModelWatch& model(ModelFields fields);
    // The fields of every item of the batch that ask for a refresh.
    ModelWatch& items(ItemFields fields);
    // The fields of one item that ask for a refresh, in place of the item followed before; none
    // while `item` is null.
    ModelWatch& item(const std::shared_ptr<BatchItem>& item, ItemFields fields);

    // Asks for the refresh at the end of this turn, for changes the watch does not hear itself.
    void request();
    // Runs the refresh now; a request pending in this turn is then answered.
    void runNow();
    bool pending() const { return pending_; }

private:
    void modelChanged(AppModel::Field field);
    void followItems();

    QPointer<QObject> view_;
    AppModel& model_;
    std::function<void()> refresh_;
    ModelFields modelFields_;
    ItemFields itemsFields_;
    ItemFields itemFields_;
    bool pending_ = false;
    Connection modelChanged_;
    std::vector<Connection> itemsChanged_;
    Connection itemChanged_;
    // A queued refresh that finds the watch gone does nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace oxel
