#include "sheets/ModelSheet.h"

#include "sheets/SheetParts.h"
#include "ui/kit/SheetFrame.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace oxel {

PresentingFlag PresentingFlag::of(AppModel::Field field, bool (AppModel::*get)() const, void (AppModel::*set)(bool))
{
    return {field, [get](const AppModel& model) { return (model.*get)(); },
            [get, set](AppModel& model) {
                if ((model.*get)()) (model.*set)(false);
            }};
}

ModelSheet::ModelSheet(AppModel& model, const QString& title, QWidget* parent, std::optional<int> width,
                       PresentingFlag flag)
    : SheetDialog(title, parent, width), model_(model), flag_(std::move(flag))
{
    connect(this, &QDialog::finished, this, [this] {
        modelConnection_.disconnect();
        watch_.reset();
        flag_.clear(model_);
    });
    modelConnection_ = model_.changed.connect([this](AppModel::Field field) { modelChanged(field); });
}

void ModelSheet::closeThen(const std::function<void()>& then)
{
    done(QDialog::Accepted);
    then();
}

void ModelSheet::setTitle(const QString& title)
{
    setWindowTitle(title);
    frame()->title()->setText(title);
}

void ModelSheet::place(QWidget* content, const std::vector<QWidget*>& leading, const std::vector<QWidget*>& trailing)
{
    auto* buttons = sheet::row(8);
    for (QWidget* widget : leading) buttons->addWidget(widget, 0, Qt::AlignVCenter);
    buttons->addStretch(1);
    for (QWidget* widget : trailing) buttons->addWidget(widget, 0, Qt::AlignVCenter);
    auto* layout = sheet::column(16);
    layout->addWidget(content);
    layout->addWidget(sheet::holding(buttons));
    body()->setLayout(layout);
}

void ModelSheet::follow(ModelWatch::ModelFields fields, ModelWatch::ItemFields itemFields,
                        std::function<void()> refresh)
{
    watch_ = std::make_unique<ModelWatch>(*this, model_, std::move(refresh));
    watch_->model(fields).items(itemFields);
}

void ModelSheet::modelChanged(AppModel::Field field)
{
    if (field == flag_.field && !flag_.isUp(model_) && isVisible()) reject();
}

} // namespace oxel
