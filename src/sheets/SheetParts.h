#pragma once

#include "ui/kit/DynamicColour.h"

#include <QString>

class QBoxLayout;
class QHBoxLayout;
class QLayout;
class QVBoxLayout;
class QWidget;

namespace oxel {

class BoxSwitch;
class SheetButton;
class TextLabel;

// The pieces the sheets are built from, in the sizes and colours they share.
namespace sheet {

// A text at a size in a colour, on one line (cut at its tail) unless it wraps.
TextLabel* text(const QString& words, double size, const DynamicColour& colour, bool wraps = false);
// An 11 pt pencil heading over its control, 6 apart.
QVBoxLayout* headed(const QString& heading, QWidget* control);
// A switch of side 18 and its 12 pt label, 10 apart; `label` may be null for a bare switch.
struct SwitchRow {
    QWidget* row;
    BoxSwitch* box;
    TextLabel* label;
};
SwitchRow switchRow(const QString& label);
// A stack with no margins.
QVBoxLayout* column(int spacing);
QHBoxLayout* row(int spacing);
// A vertical stack whose content spans the sheet's width, in a widget of its own.
QWidget* holding(QLayout* layout);
SheetButton* button(const QString& label, bool filled, bool enabled = true);

} // namespace sheet
} // namespace oxel
