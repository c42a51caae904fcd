#include "sheets/SheetParts.h"

#include "ui/kit/BoxSwitch.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace oxel::sheet {

TextLabel* text(const QString& words, double size, const DynamicColour& colour, bool wraps)
{
    auto* label = new TextLabel(words, uiFont(size), colour);
    if (wraps) label->setWrapping(0);
    return label;
}

QVBoxLayout* headed(const QString& heading, QWidget* control)
{
    auto* stack = column(6);
    stack->addWidget(text(heading, 11, Palette::pencil()));
    stack->addWidget(control);
    return stack;
}

SwitchRow switchRow(const QString& label)
{
    auto* holder = new QWidget;
    auto* line = row(10);
    holder->setLayout(line);
    auto* box = new BoxSwitch(18);
    line->addWidget(box, 0, Qt::AlignVCenter);
    TextLabel* words = nullptr;
    if (!label.isEmpty()) {
        words = text(label, 12, Palette::ink(0.8));
        box->setAccessibleName(label);
        line->addWidget(words, 1, Qt::AlignVCenter);
    }
    return {holder, box, words};
}

QVBoxLayout* column(int spacing)
{
    auto* stack = new QVBoxLayout;
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(spacing);
    return stack;
}

QHBoxLayout* row(int spacing)
{
    auto* line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(spacing);
    return line;
}

QWidget* holding(QLayout* layout)
{
    auto* holder = new QWidget;
    holder->setLayout(layout);
    return holder;
}

SheetButton* button(const QString& label, bool filled, bool enabled)
{
    auto* made = new SheetButton(label, filled);
    made->setEnabled(enabled);
    return made;
}

} // namespace oxel::sheet
