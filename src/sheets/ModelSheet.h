#pragma once

#include "model/AppModel.h"
#include "ui/kit/SheetDialog.h"
#include "ui/window/ModelWatch.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace oxel {

// The model's flag that presents a sheet: which field announces it, whether it stands, and how
// it is set back.
struct PresentingFlag {
    AppModel::Field field;
    std::function<bool(const AppModel&)> isUp;
    std::function<void(AppModel&)> clear;

    // One of the model's Boolean flags, by its getter and setter.
    static PresentingFlag of(AppModel::Field field, bool (AppModel::*get)() const, void (AppModel::*set)(bool));
};

// A sheet presented by one of the model's flags. However it closes, it sets that flag back (when
// it still stands), so the model never thinks a closed sheet is up; and when the model sets the
// flag back itself, the sheet closes.
class ModelSheet : public SheetDialog {
    Q_OBJECT
public:
    ModelSheet(AppModel& model, const QString& title, QWidget* parent, std::optional<int> width, PresentingFlag flag);

    AppModel& model() const { return model_; }

protected:
    // Closes the sheet first, then runs `then`: the order sheets act in.
    void closeThen(const std::function<void()>& then);
    void setTitle(const QString& title);
    // Lays the body out: `content` over the button row, which holds `leading`, a flexible space
    // and `trailing`.
    void place(QWidget* content, const std::vector<QWidget*>& leading, const std::vector<QWidget*>& trailing);
    // Runs `refresh` once at the end of each turn in which one of `fields` of the model, or one of
    // `itemFields` of any item of the batch, changed; items that join the batch are followed as well.
    void follow(ModelWatch::ModelFields fields, ModelWatch::ItemFields itemFields, std::function<void()> refresh);

private:
    void modelChanged(AppModel::Field field);

    AppModel& model_;
    PresentingFlag flag_;
    Connection modelConnection_;
    std::unique_ptr<ModelWatch> watch_;
};

} // namespace oxel
