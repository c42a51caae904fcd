#include "sheets/FolderPanelPort.h"

#include <QFileDialog>

namespace oxel {

void QtFolderPanel::chooseFolder(const std::string& message, const std::string& prompt, Answer answer)
{
    auto* dialog = new QFileDialog(window_, QString::fromStdString(message));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, QString::fromStdString(prompt));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answer = std::move(answer)](int result) {
        const QStringList chosen = dialog->selectedFiles();
        if (result != QDialog::Accepted || chosen.isEmpty() || chosen.front().isEmpty()) {
            answer(std::nullopt);
            return;
        }
        answer(std::filesystem::path(chosen.front().toStdString()));
    });
    dialog->open();
}

} // namespace oxel
