#include "app/AboutPanel.h"

#include "platform/BuildInfo.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/TextLabel.h"
#include "ui/kit/Wordmark.h"

#include <QVBoxLayout>

namespace oxel {

AboutPanel::AboutPanel(const BuildInfo& info, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("about oxel pro"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 32, 40, 32);
    layout->setSpacing(10);
    layout->addWidget(new Wordmark(QStringLiteral("pro"), 28, this), 0, Qt::AlignHCenter);
    auto* version = new TextLabel(versionLine(info), uiFont(12), Palette::ink(0.7), this);
    version->setAlignment(Qt::AlignHCenter);
    layout->addWidget(version, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString AboutPanel::versionLine(const BuildInfo& info)
{
    return QStringLiteral("version %1 (%2)")
        .arg(QString::fromStdString(appVersion(info)), QString::fromStdString(buildNumber(info)));
}

} // namespace oxel
