#include "sheets/QtSavePanel.h"

#include <QFileDialog>

namespace oxel {

const QString QtSavePanel::psdFilter = QStringLiteral("layered psd (*.psd)");
const QString QtSavePanel::tiffFilter = QStringLiteral("layered tiff (*.tif *.tiff)");

void QtSavePanel::chooseExportFile(const std::string& proposedName, Answer answer)
{
    auto* dialog = new QFileDialog(window_);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("export this one"));
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("export"));
    dialog->setNameFilters({psdFilter, tiffFilter});
    dialog->setDefaultSuffix(QStringLiteral("psd"));
    dialog->selectFile(QString::fromStdString(proposedName));
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString& filter) {
        dialog->setDefaultSuffix(filter == tiffFilter ? QStringLiteral("tif") : QStringLiteral("psd"));
    });
    // One answer, however the dialog ends.
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answer](int result) {
        const QStringList chosen = dialog->selectedFiles();
        if (result == QDialog::Accepted && !chosen.isEmpty())
            answer(std::filesystem::path(chosen.front().toStdString()));
        else
            answer(std::nullopt);
    });
    dialog_ = dialog;
    dialog->open();
}

} // namespace oxel
