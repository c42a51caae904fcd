#include "sheets/FolderPanelPort.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

namespace oxel {

std::filesystem::path exportPanelFolder(const std::optional<std::filesystem::path>& lastExport)
{
    std::error_code error;
    if (lastExport && std::filesystem::is_directory(*lastExport, error)) return *lastExport;
    const std::filesystem::path pictures =
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString();
    if (!pictures.empty() && std::filesystem::is_directory(pictures, error)) return pictures;
    return QDir::homePath().toStdString();
}

void QtFolderPanel::chooseFolder(const std::string& message, const std::string& prompt,
                                 const std::filesystem::path& startIn, Answer answer)
{
    auto* dialog = new QFileDialog(window_, QString::fromStdString(message), QString::fromStdString(startIn.string()));
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
