#include "ui/SheetDialog.h"

#include "ui/SheetFrame.h"

#include <QVBoxLayout>

namespace oxel {

SheetDialog::SheetDialog(const QString& title, QWidget* parent, std::optional<int> fixedWidth)
    : QDialog(parent), body_(new QWidget), frame_(new SheetFrame(title, body_, this))
{
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (fixedWidth) frame_->setFixedWidth(std::max(*fixedWidth, SheetFrame::minimumWidth));
}

} // namespace oxel
