#include "ui/window/BottomBar.h"

#include "model/AppModel.h"
#include "ui/kit/BoxedButton.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/TextLabel.h"
#include "ui/window/ColourOnlyToggle.h"
#include "ui/window/MainFacts.h"

#include <QHBoxLayout>

namespace oxel {
namespace {

constexpr int sideMargin = 14;
constexpr int spacing = 10;

BoxedButton* quiet(const QString& label)
{
    return new BoxedButton({{label, Palette::ink(0.85)}}, BoxedButton::outlined(uiFont(13), 6, 14, true));
}

BoxedButton* filled(const QString& label)
{
    return new BoxedButton({{label, Palette::onInk()}}, BoxedButton::filled(uiFont(13, FontWeight::medium), 6, 16));
}

} // namespace

BottomBar::BottomBar(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setFixedHeight(barHeight);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(sideMargin, 0, sideMargin, 0);
    row->setSpacing(spacing);
    status_ = new TextLabel({}, uiFont(11), Palette::pencil());
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    row->addWidget(status_, 1);

    results_ = quiet(QStringLiteral("results"));
    connect(results_, &QAbstractButton::clicked, this, [this] { model_.setScreen(AppModel::Screen::results); });
    colourOnly_ = new ColourOnlyToggle(model_);
    process_ = filled(QStringLiteral("process 0"));
    connect(process_, &QAbstractButton::clicked, this, &BottomBar::processTapped);
    nudges_ = quiet(QStringLiteral("nudges"));
    connect(nudges_, &QAbstractButton::clicked, this, [this] { model_.setScreen(AppModel::Screen::input); });
    export_ = quiet(QStringLiteral("export…"));
    connect(export_, &QAbstractButton::clicked, this, [this] { model_.setShowExport(true); });
    sendBack_ = filled(QStringLiteral("send 0 back"));
    connect(sendBack_, &QAbstractButton::clicked, this, [this] { model_.sendBack(); });
    for (QWidget* action :
         {static_cast<QWidget*>(results_), static_cast<QWidget*>(colourOnly_), static_cast<QWidget*>(process_),
          static_cast<QWidget*>(nudges_), static_cast<QWidget*>(export_), static_cast<QWidget*>(sendBack_)})
        row->addWidget(action, 0, Qt::AlignVCenter);
    refresh();
}

void BottomBar::refresh()
{
    const MainFacts facts = MainFacts::of(model_);
    status_->setText(QString::fromStdString(maintexts::statusText(facts.status)));
    const bool input = !facts.status.resultsScreen;
    const int withResult = facts.status.withResult;
    results_->setVisible(input && withResult >= 1);
    colourOnly_->setVisible(input && model_.colourOnlyModelReady());
    colourOnly_->refresh();
    process_->setVisible(input);
    process_->setText("process " + QString::number(facts.processCount()));
    process_->setEnabled(facts.processCount() > 0);
    nudges_->setVisible(!input);
    export_->setVisible(!input);
    export_->setEnabled(withResult > 0);
    sendBack_->setVisible(!input && facts.sendBack > 0);
    sendBack_->setText("send " + QString::number(facts.sendBack) + " back");
}

void BottomBar::showSaving()
{
    status_->setText(QString::fromUtf8(savingStatus));
    status_->repaint();
}

void BottomBar::processTapped()
{
    if (MainFacts::of(model_).status.colourOnlyInForce) {
        model_.process();
    } else {
        model_.setShowConfirm(true);
    }
}

} // namespace oxel
