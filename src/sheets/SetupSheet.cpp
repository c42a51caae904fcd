#include "sheets/SetupSheet.h"

#include "sheets/SelectableText.h"
#include "sheets/SheetParts.h"
#include "ui/kit/DigitsLabel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PencilRule.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace oxel {
namespace {

constexpr int numberWidth = 16;

} // namespace

SetupSheet::SetupSheet(AppModel& model, HandoffApp app, QWidget* parent, const std::filesystem::path& launcher)
    : ModelSheet(model, "set up " + QString::fromUtf8(displayName(app).data(), qsizetype(displayName(app).size())),
                 parent, sheetWidth,
                 PresentingFlag{AppModel::Field::setupGuide,
                                [](const AppModel& owner) { return owner.setupGuide().has_value(); },
                                [](AppModel& owner) {
                                    if (owner.setupGuide()) owner.setSetupGuide(std::nullopt);
                                }}),
      app_(app)
{
    auto* guide = sheet::column(12);
    const auto steps = setupSteps(app, launcher);
    for (size_t index = 0; index < steps.size(); ++index) guide->addWidget(stepRow(int(index) + 1, steps[index]));
    guide->addWidget(new PencilRule);
    guide->addWidget(sheet::text(QString::fromStdString(setupFootnote(app)), 11, Palette::pencil(), true));

    auto* done = sheet::button("done", true);
    connect(done, &SheetButton::clicked, this, &QDialog::accept);
    place(sheet::holding(guide), {}, {done});
    setDefaultButton(done);
}

QWidget* SetupSheet::stepRow(int number, const std::string& step)
{
    auto* line = sheet::row(10);
    auto* figure = new DigitsLabel(QString::number(number), uiFont(12), Palette::ink(0.9), Qt::AlignRight);
    figure->setFixedWidth(numberWidth);
    // Both start at the row's top in the same face and size, so the number sits on the first
    // line's baseline however many lines the step wraps onto.
    line->addWidget(figure, 0, Qt::AlignTop);
    // Selectable, so a launcher path or a command line can be copied from it.
    line->addWidget(new SelectableText(QString::fromStdString(step), 12, Palette::ink(0.8)), 1, Qt::AlignTop);
    return sheet::holding(line);
}

} // namespace oxel
