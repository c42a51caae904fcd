#include "ui/screens/UpdateRequiredView.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/InkBoxLabel.h"
#include "ui/kit/PaperPatch.h"

#include <QVBoxLayout>

namespace oxel {

UpdateRequiredView::UpdateRequiredView(QWidget* parent) : CentreLineScreen(24, parent)
{
    const QString message = tr("this version of oxel pro\nneeds updating");
    column().addWidget(new PaperPatch(centredLines(message, uiFont(17, FontWeight::light), 0.75, 8), 10), 0,
                       Qt::AlignHCenter);
    updateButton_ = new InkBoxLabel(tr("update now"), {.vertical = 10, .horizontal = 20});
    column().addWidget(updateButton_, 0, Qt::AlignHCenter);
    connect(updateButton_, &InkBoxLabel::clicked, this, &UpdateRequiredView::updateRequested);
}

} // namespace oxel
