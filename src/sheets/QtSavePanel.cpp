#include "sheets/QtSavePanel.h"

#include "sheets/TileRules.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace oxel {
namespace {

class LayeredSaveDialog final : public QFileDialog {
public:
    explicit LayeredSaveDialog(QWidget* parent) : QFileDialog(parent) {}

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (chosen.isEmpty()) return QFileDialog::accept();
        const std::filesystem::path typed(chosen.front().toStdString());
        const std::filesystem::path settled = tile::layeredExportTarget(typed, defaultSuffix().toStdString());
        if (settled == typed) return QFileDialog::accept();
        if (findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            // Qt's own dialog: the settled name goes into its field, and its own question follows.
            selectFile(QString::fromStdString(settled.string()));
            return QFileDialog::accept();
        }
        if (std::filesystem::exists(settled) && !replaceConfirmed(settled)) return QFileDialog::reject();
        selectedSettled = settled;
        QFileDialog::accept();
    }

    // The file a desktop dialog's answer became, when it differs from the name typed there.
    std::optional<std::filesystem::path> selectedSettled;

private:
    bool replaceConfirmed(const std::filesystem::path& file)
    {
        const QString name = QString::fromStdString(file.filename().string());
        return QMessageBox::question(this, windowTitle(), name + " already exists. replace it?",
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    }
};

QString textOf(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString suffixOf(ExportFormat format)
{
    return textOf(fileExtension(format));
}

// "layered tiff (*.tif *.tiff)": the format's word and every extension it is read as.
QString layeredFilter(ExportFormat format)
{
    QStringList patterns;
    for (std::string_view extension : fileExtensions(format)) patterns << QStringLiteral("*.") + textOf(extension);
    return QStringLiteral("layered %1 (%2)").arg(textOf(rawValue(format)), patterns.join(QLatin1Char(' ')));
}

} // namespace

const QString QtSavePanel::psdFilter = layeredFilter(ExportFormat::psd);
const QString QtSavePanel::tiffFilter = layeredFilter(ExportFormat::tiff);

void QtSavePanel::chooseExportFile(const std::string& proposedName, Answer answer)
{
    auto* dialog = new LayeredSaveDialog(window_);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("export this one"));
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("export"));
    dialog->setNameFilters({psdFilter, tiffFilter});
    dialog->setDefaultSuffix(suffixOf(ExportFormat::psd));
    dialog->selectFile(QString::fromStdString(proposedName));
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString& filter) {
        dialog->setDefaultSuffix(suffixOf(filter == tiffFilter ? ExportFormat::tiff : ExportFormat::psd));
    });
    // One answer, however the dialog ends.
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answer](int result) {
        const QStringList chosen = dialog->selectedFiles();
        if (result == QDialog::Accepted && !chosen.isEmpty())
            answer(dialog->selectedSettled.value_or(std::filesystem::path(chosen.front().toStdString())));
        else
            answer(std::nullopt);
    });
    dialog_ = dialog;
    dialog->open();
}

} // namespace oxel
