// The single export's save panel as the photographer meets it: proposed name, the two layered
// types, "export", and one answer however it ends.
#include "sheets/QtSavePanel.h"

#include "support/TemporaryFolder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <fstream>

namespace oxel {
namespace {

struct QtSavePanelTest : ::testing::Test {
    testing::TemporaryFolder folder;
    QWidget window;
    QtSavePanel panel{&window};
    std::vector<std::optional<std::filesystem::path>> answers;

    QFileDialog* open(const std::string& proposed)
    {
        panel.chooseExportFile(proposed,
                               [this](std::optional<std::filesystem::path> file) { answers.push_back(file); });
        return panel.dialog();
    }
};

TEST_F(QtSavePanelTest, OffersTheTwoLayeredTypesWithTheProposedNameOverTheWindow)
{
    QFileDialog* dialog = open("IMG_0412-oxel.psd");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->parentWidget(), &window);
    EXPECT_EQ(dialog->nameFilters(), (QStringList{QtSavePanel::psdFilter, QtSavePanel::tiffFilter}));
    EXPECT_EQ(QtSavePanel::psdFilter, "layered psd (*.psd)");
    EXPECT_EQ(QtSavePanel::tiffFilter, "layered tiff (*.tif *.tiff)");
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "export");
    EXPECT_TRUE(dialog->selectedFiles().value(0).endsWith("IMG_0412-oxel.psd"));
    dialog->reject();
    EXPECT_EQ(answers, (std::vector<std::optional<std::filesystem::path>>{std::nullopt}));
}

TEST_F(QtSavePanelTest, ANameWithoutExtensionTakesTheChosenType)
{
    QFileDialog* dialog = open("a-oxel.psd");
    dialog->setDirectory(QString::fromStdString(folder.path().string()));
    dialog->selectFile(QString::fromStdString((folder.path() / "photo").string()));
    dialog->selectNameFilter(QtSavePanel::tiffFilter);
    Q_EMIT dialog->filterSelected(QtSavePanel::tiffFilter);
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_EQ(answers.size(), 1u);
    ASSERT_TRUE(answers[0]);
    EXPECT_EQ(*answers[0], folder.path() / "photo.tif");

    QFileDialog* second = open("b-oxel.psd");
    second->setDirectory(QString::fromStdString(folder.path().string()));
    second->selectFile(QString::fromStdString((folder.path() / "other").string()));
    static_cast<QDialog*>(second)->accept();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(*answers[1], folder.path() / "other.psd");
}

TEST_F(QtSavePanelTest, AForeignExtensionIsSettledBeforeTheReplaceQuestion)
{
    QFileDialog* dialog = open("a-oxel.psd");
    dialog->setDirectory(QString::fromStdString(folder.path().string()));
    dialog->selectFile(QString::fromStdString((folder.path() / "typed.jpg").string()));
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], folder.path() / "typed.jpg.psd");

    // The file that would be written exists: the question names it, and "no" leaves the dialog open.
    std::ofstream(folder.path() / "kept.jpg.psd") << "earlier";
    QFileDialog* second = open("b-oxel.psd");
    second->setDirectory(QString::fromStdString(folder.path().string()));
    second->selectFile(QString::fromStdString((folder.path() / "kept.jpg").string()));
    QString asked;
    QTimer::singleShot(0, [&asked] {
        auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(question, nullptr);
        asked = question->text();
        question->button(QMessageBox::No)->click();
    });
    static_cast<QDialog*>(second)->accept();
    EXPECT_TRUE(asked.startsWith("kept.jpg.psd already exists")) << asked.toStdString();
    EXPECT_EQ(answers.size(), 1u) << "no answer while the dialog stays open";
    EXPECT_TRUE(second->isVisible());
    second->reject();
}

} // namespace
} // namespace oxel
