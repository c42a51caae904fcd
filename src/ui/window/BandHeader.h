#pragma once

#include <QString>

class QHBoxLayout;
class QWidget;

namespace oxel {

class TextLabel;

// The header row of a band: its title at 12 pt light, then a one-line help text in pencil that
// is the first to give up width (cut at its tail), 10 apart, sharing one bottom line. The caller
// adds what follows them.
struct BandHeader {
    BandHeader(const QString& title, const QString& help, QWidget* parent);

    QHBoxLayout* row;
    TextLabel* title;
    TextLabel* help;
};

} // namespace oxel
