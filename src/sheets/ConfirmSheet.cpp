#include "sheets/ConfirmSheet.h"

#include "sheets/Plurals.h"
#include "sheets/SheetParts.h"
#include "ui/kit/BoxSwitch.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/SheetFrame.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>
#include <QLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace oxel {

ConfirmState confirmState(int64_t toProcess, std::optional<int64_t> balance)
{
    const int64_t have = balance.value_or(0);
    const int64_t left = have - toProcess;
    ConfirmState state;
    state.title = "process " + counted(toProcess, "image");
    state.shots =
        counted(toProcess, "shot") + " from the roll · " + std::to_string(std::max<int64_t>(left, 0)) + " left after";
    if (left < 0)
        state.warning = "not enough shots for the whole batch. the first " +
                        std::to_string(std::max<int64_t>(have, 0)) + " will run; buy more for the rest.";
    state.buyShots = left < 0;
    state.processEnabled = balance && *balance > 0;
    return state;
}

std::string grainDescription(bool grain)
{
    return grain ? "a grain layer, the grain oxel chooses for each picture" : "the grain layer is kept, hidden";
}

ConfirmSheet::ConfirmSheet(AppModel& model, QWidget* parent)
    : ModelSheet(model, {}, parent, std::nullopt,
                 PresentingFlag::of(AppModel::Field::showConfirm, &AppModel::showConfirm, &AppModel::setShowConfirm))
{
    auto* texts = sheet::column(6);
    shots_ = sheet::text({}, 12, Palette::ink(0.7));
    warning_ = sheet::text({}, 12, Palette::accent(), true);
    texts->addWidget(shots_);
    texts->addWidget(warning_);
    texts->addWidget(sheet::text(
        "each image is analysed and relit on oxel's servers. a shot is spent only when a result comes back.", 11,
        Palette::pencil(), true));
    auto grainRow = sheet::switchRow("film grain");
    grainRow_ = grainRow.row;
    grain_ = grainRow.box;
    grainWords_ = sheet::text({}, 11, Palette::pencil());
    static_cast<QHBoxLayout*>(grainRow.row->layout())->setStretch(1, 0);
    static_cast<QHBoxLayout*>(grainRow.row->layout())->addWidget(grainWords_, 1, Qt::AlignVCenter);
    grainRow.row->layout()->setContentsMargins(0, 6, 0, 0);
    texts->addWidget(grainRow.row);

    auto* notYet = sheet::button("not yet", false);
    buy_ = sheet::button("buy shots", false);
    process_ = sheet::button("process", true);
    place(sheet::holding(texts), {notYet}, {buy_, process_});
    setDefaultButton(process_);

    connect(notYet, &SheetButton::clicked, this, &QDialog::reject);
    connect(buy_, &SheetButton::clicked, this, &ConfirmSheet::buyShots);
    connect(process_, &SheetButton::clicked, this, [this] { closeThen([this] { this->model().process(); }); });
    connect(grain_, &BoxSwitch::clicked, this, [this](bool on) {
        this->model().setGrainEnabled(on);
        refresh();
    });
    // Any change of an item may change what is left to develop.
    follow({AppModel::Field::items, AppModel::Field::balance},
           {BatchItem::Field::source, BatchItem::Field::phase, BatchItem::Field::result}, [this] { refresh(); });
    refresh();
    this->model().ensureBalance();
}

void ConfirmSheet::refresh()
{
    std::optional<int64_t> balance;
    if (model().balance()) balance = model().balance()->balance;
    const auto state = confirmState(int64_t(model().itemsToProcess().size()), balance);
    setTitle(QString::fromStdString(state.title));
    shots_->setText(QString::fromStdString(state.shots));
    warning_->setVisible(state.warning.has_value());
    warning_->setText(QString::fromStdString(state.warning.value_or("")));
    buy_->setVisible(state.buyShots);
    process_->setEnabled(state.processEnabled);
    const bool grain = model().grainEnabled();
    grain_->setOn(grain);
    grainWords_->setText(QString::fromStdString(grainDescription(grain)));
    fitWidth();
}

void ConfirmSheet::fitWidth()
{
    const QMargins margins = frame()->layout()->contentsMargins();
    const int needed = grainRow_->sizeHint().width() + margins.left() + margins.right();
    frame()->setFixedWidth(std::max(SheetFrame::minimumWidth, needed));
}

void ConfirmSheet::buyShots()
{
    closeThen([this] {
        model().setShowCredits(true);
        // Fetched again each time; until it answers the shop shows the list already held.
        model().tasks().spawn(model().refreshProducts());
    });
}

} // namespace oxel
