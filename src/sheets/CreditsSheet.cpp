#include "sheets/CreditsSheet.h"

#include "sheets/Plurals.h"
#include "sheets/SheetParts.h"
#include "ui/kit/DigitsLabel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace oxel {

std::string rollLine(std::optional<int64_t> balance)
{
    if (!balance) return "…";
    return counted(*balance, "shot") + " in the roll";
}

CreditsSheet::CreditsSheet(AppModel& model, QWidget* parent, std::optional<std::string> currency)
    : ModelSheet(model, "shots", parent, sheetWidth,
                 PresentingFlag::of(AppModel::Field::showCredits, &AppModel::showCredits, &AppModel::setShowCredits)),
      currency_(std::move(currency))
{
    auto* content = sheet::column(10);
    roll_ = sheet::text({}, 12, Palette::ink(0.7));
    content->addWidget(roll_);
    packs_ = sheet::column(0);
    content->addLayout(packs_);
    content->addWidget(sheet::text(
        "checkout opens in your browser. tax is handled for you; the shots land in the roll a moment after.", 11,
        Palette::pencil(), true));

    auto* done = sheet::button("done", false);
    connect(done, &SheetButton::clicked, this, &QDialog::accept);
    place(sheet::holding(content), {}, {done});
    follow({AppModel::Field::balance, AppModel::Field::products}, {}, [this] { refresh(); });
    refresh();
}

void CreditsSheet::showEvent(QShowEvent* event)
{
    ModelSheet::showEvent(event);
    // The model's tasks, not the sheet's: the one shared request is the model's to finish.
    if (!model().products()) model().tasks().spawn(model().refreshProducts());
    model().ensureBalance();
}

void CreditsSheet::refresh()
{
    std::optional<int64_t> balance;
    if (model().balance()) balance = model().balance()->balance;
    roll_->setText(QString::fromStdString(rollLine(balance)));
    if (built_ && shown_ == model().products()) return;
    shown_ = model().products();
    built_ = true;
    rebuildPacks();
}

void CreditsSheet::rebuildPacks()
{
    while (QLayoutItem* item = packs_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    // Shown at once rather than on the next turn, as a layout would.
    const auto add = [this](QWidget* widget) {
        packs_->addWidget(widget);
        widget->show();
    };
    if (!shown_) {
        add(new TextLabel("…", uiFont(13), Palette::pencil()));
        return;
    }
    if (!shown_->available)
        add(sheet::text("the shop is not open yet. shots bought in oxel on your phone work here.", 12,
                        Palette::pencil(), true));
    for (const ProProduct& product : shown_->products) add(packRow(product, shown_->available));
}

QWidget* CreditsSheet::packRow(const ProProduct& product, bool shopOpen)
{
    auto* names = sheet::column(2);
    names->addWidget(sheet::text(QString::fromStdString(product.label), 13, Palette::ink(0.9)));
    names->addWidget(sheet::text(QString::number(product.credits) + " shots", 11, Palette::pencil()));
    auto* line = sheet::row(8);
    line->setContentsMargins(0, 4, 0, 4);
    line->addLayout(names, 1);
    line->addWidget(
        new DigitsLabel(QString::fromStdString(product.displayPrice(currency_)), uiFont(12), Palette::ink(0.7)), 0,
        Qt::AlignVCenter);
    auto* buy = sheet::button("buy", false, shopOpen);
    line->addWidget(buy, 0, Qt::AlignVCenter);
    connect(buy, &SheetButton::clicked, this, [this, product] { model().buy(product); });
    auto* row = sheet::holding(line);
    row->setObjectName(QString::fromStdString(product.id));
    return row;
}

} // namespace oxel
