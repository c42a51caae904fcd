#include "ui/window/BandHeader.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>

namespace oxel {

BandHeader::BandHeader(const QString& titleText, const QString& helpText, QWidget* parent)
    : row(new QHBoxLayout),
      title(new TextLabel(titleText, uiFont(12, FontWeight::light), Palette::ink(0.9), parent)),
      help(new TextLabel(helpText, uiFont(11), Palette::pencil(), parent))
{
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    title->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    help->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    row->addWidget(title, 0, Qt::AlignBottom);
    row->addWidget(help, 0, Qt::AlignBottom);
}

} // namespace oxel
