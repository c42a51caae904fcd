#include "sheets/ColourExplainerSheet.h"

#include "sheets/SheetParts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PencilRule.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace oxel {

ColourExplainerSheet::ColourExplainerSheet(AppModel& model, QWidget* parent)
    : ModelSheet(model, "two ways to develop", parent, sheetWidth,
                 PresentingFlag::of(AppModel::Field::showColourExplainer, &AppModel::showColourExplainer,
                                    &AppModel::setShowColourExplainer))
{
    auto* ways = sheet::column(14);
    ways->addWidget(
        way("colour and light", "oxel re-lights your picture, then grades it. uses a shot, takes about two minutes."));
    ways->addWidget(
        way("colour only", "this computer grades it in a few seconds. the picture never leaves it. no shot used."));
    ways->addWidget(new PencilRule);
    reason_ = sheet::text({}, 12, Palette::ink(0.7), true);
    ways->addWidget(reason_);

    notNow_ = sheet::button("not now", false);
    auto* gotIt = sheet::button("got it", true);
    connect(notNow_, &SheetButton::clicked, this, &QDialog::reject);
    // The model clears the flag first, which closes the sheet.
    connect(gotIt, &SheetButton::clicked, this, [this] { this->model().confirmColourExplainer(); });

    place(sheet::holding(ways), {notNow_}, {gotIt});
    setDefaultButton(gotIt);
    follow({AppModel::Field::colourOnlyMissing}, {}, [this] { refresh(); });
    refresh();
}

QWidget* ColourExplainerSheet::way(const QString& name, const QString& words)
{
    auto* stack = sheet::column(4);
    stack->addWidget(sheet::text(name, 13, Palette::ink(0.85)));
    stack->addWidget(sheet::text(words, 12, Palette::ink(0.5), true));
    return sheet::holding(stack);
}

void ColourExplainerSheet::refresh()
{
    const auto& missing = model().colourOnlyMissing();
    reason_->setVisible(missing.has_value());
    reason_->setText(QString::fromStdString(missing.value_or("")));
    notNow_->setVisible(!missing);
}

} // namespace oxel
