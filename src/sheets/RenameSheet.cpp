#include "sheets/RenameSheet.h"

#include "sheets/SheetParts.h"
#include "ui/kit/BoxedField.h"
#include "ui/kit/SheetButton.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace oxel {

bool renameable(const QString& draft)
{
    for (QChar character : draft)
        if (character != u' ' && character != u'\t') return true;
    return false;
}

RenameSheet::RenameSheet(AppModel& model, QWidget* parent)
    : ModelSheet(model, "rename this batch", parent, sheetWidth,
                 PresentingFlag::of(AppModel::Field::showRename, &AppModel::showRename, &AppModel::setShowRename)),
      field_(new BoxedField("name", 14, QMargins(10, 7, 10, 7)))
{
    auto* cancel = sheet::button("cancel", false);
    rename_ = sheet::button("rename", true);
    place(field_, {cancel}, {rename_});
    setDefaultButton(rename_);

    QLineEdit* editor = field_->editor();
    connect(editor, &QLineEdit::textChanged, this,
            [this](const QString& draft) { rename_->setEnabled(renameable(draft)); });
    connect(editor, &QLineEdit::returnPressed, this, &RenameSheet::rename);
    connect(rename_, &SheetButton::clicked, this, &RenameSheet::rename);
    connect(cancel, &SheetButton::clicked, this, &QDialog::reject);
    editor->setText(model.batch() ? QString::fromStdString(model.batch()->name) : QString());
    rename_->setEnabled(renameable(editor->text()));
    editor->setFocus();
}

void RenameSheet::rename()
{
    // The model first, then the sheet closes: the order this sheet's rename takes.
    model().renameBatch(field_->editor()->text().toStdString());
    accept();
}

} // namespace oxel
