#include "app/QtModelPanels.h"
#include "app/QtMainExecutor.h"

#include "async/TaskScope.h"
#include "support/ui/SpinUntil.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

namespace oxel {
namespace {

template <typename T>
Task<void> storeInto(Task<T> task, std::optional<T>& result)
{
    result = co_await std::move(task);
}

using testing::spinUntil;

template <typename Dialog>
Dialog* openDialog(QWidget& window)
{
    Dialog* found = nullptr;
    spinUntil([&] {
        found = window.findChild<Dialog*>();
        return found && found->isVisible();
    });
    return found;
}

struct QtModelPanelsTest : ::testing::Test {
    QtMainExecutor executor;
    MainExecutor* previous = installMainExecutor(&executor);
    QWidget window;
    QtModelPanels panels{&window};
    TaskScope scope;

    QtModelPanelsTest() { window.show(); }
    ~QtModelPanelsTest() override { installMainExecutor(previous); }
};

TEST_F(QtModelPanelsTest, AnAlertAnswersWithTheButtonChosen)
{
    std::optional<int> answer;
    scope.spawn(storeInto(panels.ask({"2 still developing", "more", {"keep developing", "quit"}, 0}), answer));
    auto* box = openDialog<QMessageBox>(window);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "2 still developing");
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->defaultButton()->text(), "keep developing");
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == "quit") button->click();
    }
    ASSERT_TRUE(spinUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, 1);

    std::optional<int> escaped;
    scope.spawn(storeInto(panels.ask({"x", "", {"quit", "keep"}, 1}), escaped));
    box = openDialog<QMessageBox>(window);
    ASSERT_TRUE(box);
    box->reject();
    ASSERT_TRUE(spinUntil([&] { return escaped.has_value(); }));
    EXPECT_EQ(*escaped, 1) << "dismissed, the alert gives its safe answer wherever it stands";
}

TEST_F(QtModelPanelsTest, TheImportPanelIsWindowModalAndCancelGivesNothing)
{
    std::optional<std::optional<std::vector<std::filesystem::path>>> cancelled;
    scope.spawn(storeInto(panels.choose({"import images", true, true, {"jpg"}}), cancelled));
    auto* dialog = openDialog<QFileDialog>(window);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowTitle(), "import images");
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    dialog->reject();
    ASSERT_TRUE(spinUntil([&] { return cancelled.has_value(); }));
    EXPECT_FALSE(*cancelled);
}

} // namespace
} // namespace oxel
