#include "app/QtModelPanels.h"

#include "async/Completion.h"

#include <QApplication>
#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTreeView>

#include <algorithm>

namespace oxel {

namespace {

using Chosen = std::optional<std::vector<std::filesystem::path>>;

// Qt's own file dialog, letting one selection mix files and folders when the panel allows
// folders (native dialogs pick one kind or the other).
class MixedSelectionDialog final : public QFileDialog {
public:
    MixedSelectionDialog(QWidget* parent, const OpenPanel& panel) : QFileDialog(parent)
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(panel.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        setWindowTitle(QString::fromStdString(panel.message));
        if (!panel.prompt.empty()) setLabelText(QFileDialog::Accept, QString::fromStdString(panel.prompt));
        if (!panel.extensions.empty()) {
            QStringList patterns;
            for (const std::string& extension : panel.extensions)
                patterns << QStringLiteral("*.") + QString::fromStdString(extension);
            setNameFilter(QStringLiteral("pictures (%1)").arg(patterns.join(' ')));
        }
        mixes_ = panel.canChooseDirectories;
        if (!mixes_) return;
        auto mode =
            panel.allowsMultipleSelection ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
        for (auto* view : findChildren<QListView*>()) view->setSelectionMode(mode);
        for (auto* view : findChildren<QTreeView*>()) view->setSelectionMode(mode);
    }

    // What was chosen, folders included.
    std::vector<std::filesystem::path> chosen() const
    {
        std::vector<std::filesystem::path> paths;
        for (const QString& file : selectedFiles()) paths.emplace_back(file.toStdString());
        return paths;
    }

protected:
    void accept() override
    {
        // The stock dialog opens a selected folder instead of accepting it; a mixed selection is
        // accepted as it stands.
        if (mixes_ && !selectedFiles().isEmpty()) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

private:
    bool mixes_ = false;
};

// Whether `widget` is `window` or lies on it, in a window of its own or not.
bool standsOn(const QWidget* widget, const QWidget* window)
{
    for (; widget; widget = widget->parentWidget())
        if (widget == window) return true;
    return false;
}

// Opens the dialog window-modal over its parent, which has the keys back once it closes (a window
// manager may hand them to the main window, which the sheet blocks).
void openOver(QDialog& dialog)
{
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QWidget> under = dialog.parentWidget();
    QObject::connect(&dialog, &QDialog::finished, under, [under] {
        if (under) under->activateWindow();
    });
    dialog.open();
}

} // namespace

QWidget* QtModelPanels::front() const
{
    // A dialog over the window would be blocked by a sheet that is modal over the same window.
    QWidget* modal = QApplication::activeModalWidget();
    return modal && standsOn(modal, window_) ? modal : window_;
}

Task<Chosen> QtModelPanels::choose(OpenPanel panel)
{
    Completion<Chosen> answer;
    auto* dialog = new MixedSelectionDialog(front(), panel);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answer](int result) mutable {
        answer.complete(result == QDialog::Accepted ? Chosen(dialog->chosen()) : std::nullopt);
    });
    openOver(*dialog);
    co_return co_await answer.value();
}

Task<int> QtModelPanels::ask(Alert alert)
{
    Completion<int> answer;
    auto* box = new QMessageBox(front());
    box->setWindowTitle(QStringLiteral("oxel pro"));
    box->setText(QString::fromStdString(alert.message));
    box->setInformativeText(QString::fromStdString(alert.information));
    std::vector<QAbstractButton*> buttons;
    for (const std::string& title : alert.buttons)
        buttons.push_back(box->addButton(QString::fromStdString(title), QMessageBox::ActionRole));
    const int safe = alert.safeAnswer < buttons.size() ? int(alert.safeAnswer) : 0;
    if (!buttons.empty()) {
        box->setDefaultButton(static_cast<QPushButton*>(buttons[size_t(safe)]));
        box->setEscapeButton(buttons[size_t(safe)]);
    }
    // Escape and the window's close button press the safe button; closed any other way, the alert
    // gives the safe answer all the same.
    QObject::connect(box, &QDialog::finished, box, [box, buttons, answer, safe]() mutable {
        auto clicked = std::find(buttons.begin(), buttons.end(), box->clickedButton());
        answer.complete(clicked == buttons.end() ? safe : int(clicked - buttons.begin()));
    });
    openOver(*box);
    co_return co_await answer.value();
}

} // namespace oxel
