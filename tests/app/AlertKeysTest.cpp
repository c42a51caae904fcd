// The alerts and panels the model and the quit guard raise, as real dialogs over a window: Escape,
// the window's close button and Return all give the answer that changes nothing.
#include "MainViewFixture.h"

#include "app/ForwardedStarts.h"
#include "app/LaunchArguments.h"
#include "app/PanelQuitAlerts.h"
#include "app/QtMainExecutor.h"
#include "app/QtModelPanels.h"
#include "app/RefusedStart.h"
#include "sheets/BatchesSheet.h"
#include "support/ui/Screenshots.h"
#include "support/ui/SpinUntil.h"
#include "ui/window/CompareKeys.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

enum class Dismissal { escape, closeButton, returnKey };
constexpr Dismissal everyDismissal[] = {Dismissal::escape, Dismissal::closeButton, Dismissal::returnKey};

// The keyboard's key goes to the dialog's window, which hands it to its focus; the close button is
// the window manager's request to close the window.
void dismiss(QWidget& dialog, Dismissal how)
{
    switch (how) {
    case Dismissal::escape: QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape); break;
    case Dismissal::returnKey: QTest::keyClick(dialog.windowHandle(), Qt::Key_Return); break;
    case Dismissal::closeButton: dialog.windowHandle()->close(); break;
    }
}

// The visible dialog of this kind over `window`, if any.
template <typename Dialog>
Dialog* visibleOver(QWidget& window)
{
    for (auto* dialog : window.findChildren<Dialog*>())
        if (dialog->isVisible()) return dialog;
    return nullptr;
}

class AlertKeysTest : public MainViewTest {
protected:
    void SetUp() override
    {
        window.resize(900, 620);
        window.show();
        panelPort = &dialogs;
        makeModel();
    }

    // Runs Qt's events and the model's turns until the dialog of this kind shows.
    template <typename Dialog>
    Dialog* shown()
    {
        Dialog* found = nullptr;
        spinUntil([&] {
            loop.advance(0ns);
            found = visibleOver<Dialog>(window);
            return found != nullptr;
        });
        return found;
    }

    // Lets the answer reach the model and the model's tasks end.
    void answered()
    {
        ASSERT_TRUE(spinUntil([&] {
            loop.advance(0ns);
            return !visibleOver<QDialog>(window);
        }));
        // The model's own waits (the roll fetched after a confirmation, say) run on its clock.
        ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    }

    // A key as the keyboard sends it: to the window that has the focus.
    static void typed(Qt::Key key) { QTest::keyClick(QGuiApplication::focusWindow(), key); }

    QWidget window;
    QtModelPanels dialogs{&window};
};

TEST_F(AlertKeysTest, RemovingADevelopedPictureKeepsItOnEscapeCloseAndReturn)
{
    dropPictures(1);
    developAll();
    ASSERT_EQ(model->items().size(), 1u);
    auto item = model->items().front();
    ASSERT_TRUE(item->result());
    const fs::path kept = imageFolder(*item);
    ASSERT_TRUE(fs::exists(kept));
    for (Dismissal how : everyDismissal) {
        model->confirmRemove(item);
        auto* box = shown<QMessageBox>();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text(), "remove p0.jpg from the batch?");
        EXPECT_EQ(box->defaultButton()->text(), "keep it");
        dismiss(*box, how);
        answered();
        EXPECT_EQ(model->items(), std::vector{item}) << int(how);
        EXPECT_TRUE(item->result()) << int(how);
        EXPECT_TRUE(fs::exists(kept)) << int(how);
    }
}

TEST_F(AlertKeysTest, TrashingABatchKeepsItOnEscapeCloseAndReturnAndTheSheetStaysOpen)
{
    storeBatchOf("kept.jpg");
    await(model->refreshRecent());
    ASSERT_EQ(model->recent().size(), 1u);
    const BatchSummary summary = model->recent().front();
    model->setShowBatches(true);
    auto* sheet = new BatchesSheet(
        *model, dialogs, [](const fs::path&) {}, &window);
    sheet->open();
    for (Dismissal how : everyDismissal) {
        sheet->menuFor(summary)->actions().at(4)->trigger();
        QPointer<QMessageBox> box = shown<QMessageBox>();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->defaultButton()->text(), "keep it");
        dismiss(*box, how);
        ASSERT_TRUE(spinUntil([&] {
            loop.advance(0ns);
            return !box || !box->isVisible();
        }));
        loop.advance(0ns);
        EXPECT_EQ(model->recent().size(), 1u) << int(how);
        EXPECT_TRUE(fs::exists(library.batchFolder(summary.id()))) << int(how);
        EXPECT_TRUE(sheet->isVisible()) << "the key closed the alert, not the sheet";
    }
    sheet->reject();
}

TEST_F(AlertKeysTest, AnAlertOverASheetTakesTheKeysAndGivesThemBackToTheSheet)
{
    storeBatchOf("kept.jpg");
    await(model->refreshRecent());
    const BatchSummary summary = model->recent().front();
    model->setShowBatches(true);
    auto* sheet = new BatchesSheet(
        *model, dialogs, [](const fs::path&) {}, &window);
    sheet->open();
    ASSERT_TRUE(spinUntil([&] { return QGuiApplication::focusWindow() == sheet->windowHandle(); }));
    // As in the program, space compares unless the focus is on a button.
    CompareKeys keys(window, {});
    keys.install();
    for (Qt::Key answer : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space}) {
        sheet->menuFor(summary)->actions().at(4)->trigger();
        QPointer<QMessageBox> box = shown<QMessageBox>();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->windowHandle()->transientParent(), sheet->windowHandle()) << "the alert stands over the sheet";
        ASSERT_TRUE(spinUntil([&] { return QGuiApplication::focusWindow() == box->windowHandle(); }));
        if (answer == Qt::Key_Escape) screenshots::capture(*sheet, *box, "alert-trash-over-batches");
        // Tab walks the alert's two buttons and comes back to "keep it".
        QWidget* first = QApplication::focusWidget();
        ASSERT_TRUE(first && first->window() == box);
        typed(Qt::Key_Tab);
        EXPECT_NE(QApplication::focusWidget(), first);
        EXPECT_EQ(QApplication::focusWidget()->window(), box);
        typed(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), first);
        typed(answer);
        ASSERT_TRUE(spinUntil([&] {
            loop.advance(0ns);
            return !box || !box->isVisible();
        })) << "the alert took no "
            << answer;
        loop.advance(0ns);
        EXPECT_EQ(model->recent().size(), 1u);
        EXPECT_TRUE(spinUntil([&] { return QGuiApplication::focusWindow() == sheet->windowHandle(); }))
            << "the sheet has the keys back";
    }
    QPointer<BatchesSheet> closing = sheet;
    typed(Qt::Key_Escape);
    EXPECT_TRUE(spinUntil([&] { return !closing || !closing->isVisible(); })) << "Escape closes the sheet again";
}

TEST_F(AlertKeysTest, CancellingTheImportAndLocatePanelsChangesNothing)
{
    dropPictures(1);
    model->ensureBatchStored();
    auto item = model->items().front();
    ASSERT_TRUE(item->original);
    const std::string original = item->original->path;

    model->openFiles();
    auto* import = shown<QFileDialog>();
    ASSERT_TRUE(import);
    EXPECT_EQ(import->windowTitle(), "import images");
    auto* accept = import->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
    ASSERT_TRUE(accept);
    EXPECT_EQ(accept->text(), "open") << "the panel's own label, not the toolkit's";
    dismiss(*import, Dismissal::escape);
    answered();
    EXPECT_EQ(model->items().size(), 1u);

    for (Dismissal how : {Dismissal::escape, Dismissal::closeButton}) {
        model->locateOriginal(item);
        auto* locate = shown<QFileDialog>();
        ASSERT_TRUE(locate);
        EXPECT_EQ(locate->labelText(QFileDialog::Accept), "use this one");
        dismiss(*locate, how);
        answered();
        ASSERT_TRUE(item->original);
        EXPECT_EQ(item->original->path, original) << int(how);
    }
}

// Pictures handed over and nudged but not processed yet live nowhere but here: quitting asks first,
// Escape and Return keep the program open, and only "quit", reached with Tab, lets them go.
TEST_F(AlertKeysTest, QuittingWithPicturesNotProcessedYetAsksFirst)
{
    dropPictures(2);
    model->setGlobalNudge("warmer on the lamp side");
    PanelQuitAlerts alerts(dialogs);
    int saves = 0;
    QuitGuard guard({[&] { return Unfinished::of(*model); }, [&] { return model->batch().has_value(); },
                     [&] { return model->exportsPending(); }, [&] { ++saves; }, &alerts});
    for (Qt::Key answer : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Tab}) {
        QStringList asked;
        // The guard waits in a loop of its own; the model's turns and the person act from there.
        QTimer person;
        QObject::connect(&person, &QTimer::timeout, [&] {
            loop.advance(0ns);
            auto* box = visibleOver<QMessageBox>(window);
            if (!asked.isEmpty() || !box || QGuiApplication::focusWindow() != box->windowHandle()) return;
            asked << box->text();
            if (answer == Qt::Key_Escape) screenshots::capture(window, *box, "alert-quit-unprocessed");
            if (answer == Qt::Key_Tab) typed(Qt::Key_Tab);
            typed(answer == Qt::Key_Tab ? Qt::Key_Return : answer);
        });
        person.start(10);
        EXPECT_EQ(guard.requestQuit(), answer == Qt::Key_Tab) << answer;
        EXPECT_EQ(asked, QStringList{"2 pictures not processed yet · quitting drops them"});
    }
    EXPECT_EQ(saves, 1);
}

// A photograph handed over while the new-batch question is up is asked about before the batch goes.
TEST_F(AlertKeysTest, APictureHandedOverWhileTheNewBatchQuestionIsUpIsAskedAbout)
{
    auto question = [&] {
        auto* box = shown<QMessageBox>();
        EXPECT_TRUE(box && spinUntil([&] { return QGuiApplication::focusWindow() == box->windowHandle(); }));
        return box ? box->text() : QString();
    };
    dropPictures(1);
    model->requestNewBatch();
    EXPECT_EQ(question(), "1 picture not processed yet · a new batch drops it");
    model->receiveHandoff({writeJPEG("handed.jpg")}, std::nullopt);
    ASSERT_TRUE(runUntil([&] { return model->items().size() == 2; }));
    typed(Qt::Key_Tab);
    typed(Qt::Key_Return);
    EXPECT_EQ(question(), "2 pictures not processed yet · a new batch drops them");
    typed(Qt::Key_Escape);
    answered();
    EXPECT_EQ(model->items().size(), 2u);
}

TEST(QuitAlertKeysTest, EscapeCloseAndReturnOnTheQuitAlertsKeepTheProgramRunning)
{
    QtMainExecutor executor;
    MainExecutor* previous = installMainExecutor(&executor);
    QWidget window;
    window.resize(900, 620);
    window.show();
    QtModelPanels dialogs{&window};
    PanelQuitAlerts alerts(dialogs);
    Unfinished left;
    int exporting = 0, saves = 0;
    QuitGuard guard({[&] { return left; }, [] { return true; }, [&] { return exporting; }, [&] { ++saves; }, &alerts});
    const QStringList messages{"2 still developing", "1 still exporting", "1 result not in the library yet"};
    for (int alert = 0; alert < 3; ++alert) {
        // Each round asks about one thing alone.
        left = {.developing = alert == 0 ? 2 : 0, .unsaved = alert == 2 ? 1 : 0};
        exporting = alert == 1 ? 1 : 0;
        for (Dismissal how : everyDismissal) {
            QStringList asked;
            // The guard waits for the answer in a loop of its own: the person answers from there.
            QTimer person;
            QObject::connect(&person, &QTimer::timeout, [&] {
                auto* box = visibleOver<QMessageBox>(window);
                if (!box || QGuiApplication::focusWindow() != box->windowHandle()) return;
                asked << box->text();
                person.stop();
                if (alert == 2 && how == Dismissal::escape) {
                    screenshots::capture(window, *box, "alert-quit-unsaved");
                    // Tab walks the two buttons and comes back to the safe one.
                    QWidget* first = QApplication::focusWidget();
                    EXPECT_EQ(first, box->defaultButton());
                    QTest::keyClick(box->windowHandle(), Qt::Key_Tab);
                    EXPECT_NE(QApplication::focusWidget(), first);
                    QTest::keyClick(box->windowHandle(), Qt::Key_Tab);
                    EXPECT_EQ(QApplication::focusWidget(), first);
                }
                dismiss(*box, how);
            });
            person.start(10);
            EXPECT_FALSE(guard.requestQuit()) << alert << " " << int(how);
            EXPECT_EQ(asked, QStringList{messages[alert]});
            EXPECT_EQ(saves, 0);
        }
    }
    installMainExecutor(previous);
}

// A start refused because another program keeps the library says so in an alert of its own, which
// the keyboard alone closes: Tab stays on its one button, Return and Escape press it.
TEST(RefusedStartAlert, SaysThePhotographWasNotOpenedAndClosesOnEscapeCloseReturnAndTab)
{
    for (Dismissal how : everyDismissal) {
        const auto box = RefusedStart::alert(1);
        box->show();
        box->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(box.get()));
        EXPECT_EQ(box->text(), "oxel pro is already open on this library · the photograph was not opened");
        QTest::keyClick(box->windowHandle(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), box->defaultButton());
        dismiss(*box, how);
        EXPECT_TRUE(spinUntil([&] { return !box->isVisible(); })) << int(how);
    }
}

// Starts handed to a start that is then refused are not opened either: its alert counts them with
// its own photographs.
TEST(RefusedStartAlert, CountsThePhotographsOfTheStartsHandedToIt)
{
    LaunchArguments own;
    own.openedFiles = {"/photos/a.jpg"};
    ForwardedStarts handedOver;
    handedOver.receive({"--", "/photos/b.jpg", "/photos/c.jpg"}, nullptr);
    handedOver.receive({"--handoff", "--", "/photos/d.tif"}, nullptr);
    EXPECT_EQ(RefusedStart::photographsNotOpened(own, handedOver), 4u);
}

} // namespace
} // namespace oxel::testing
