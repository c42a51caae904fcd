// The main window's own keys as Qt hands them to the active window: the space bar compares, Escape
// and the arrows close and step the lightbox, everything else passes on to the controls.
#include "MainViewFixture.h"

#include "app/SheetPresenter.h"
#include "sheets/TileGrid.h"
#include "sheets/TileView.h"
#include "ui/kit/BoxSwitch.h"
#include "ui/kit/BoxedButton.h"
#include "ui/kit/PaintedButton.h"
#include "ui/kit/SheetDialog.h"
#include "ui/window/BottomBar.h"
#include "ui/window/CompareKeys.h"

#include <QPlainTextEdit>

namespace oxel::testing {
namespace {

TEST_F(MainViewTest, SpaceComparesWhileHeldAndRepeatsChangeNothing)
{
    MainView& main = showView();
    dropPictures(2);
    ASSERT_TRUE(main.keys().installed());
    auto* tile = main.grid()->tileFor(model->items()[0]->id);
    ASSERT_TRUE(tile);

    // Without results the press still compares and is swallowed.
    EXPECT_FALSE(press(Qt::Key_Space));
    EXPECT_TRUE(main.comparing());
    EXPECT_TRUE(main.grid()->comparing());
    // Held: X11's release-press pairs flagged as repeats keep it on.
    EXPECT_FALSE(release(Qt::Key_Space, {}, true));
    EXPECT_FALSE(press(Qt::Key_Space, {}, true));
    EXPECT_TRUE(main.comparing());
    EXPECT_FALSE(release(Qt::Key_Space));
    EXPECT_FALSE(main.comparing());
    EXPECT_FALSE(main.grid()->comparing());
    EXPECT_FALSE(defaults().contains("compareLastUsed")) << "nothing developed, nothing recorded";

    // Shift, Control, Alt or Meta with space pass on and do not compare.
    for (Qt::KeyboardModifier modifier : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier}) {
        EXPECT_TRUE(press(Qt::Key_Space, modifier));
        EXPECT_FALSE(main.comparing());
        EXPECT_TRUE(release(Qt::Key_Space, modifier));
    }
    // The keypad flag does not count as a modifier.
    EXPECT_FALSE(press(Qt::Key_Space, Qt::KeypadModifier));
    EXPECT_TRUE(main.comparing());
    EXPECT_FALSE(release(Qt::Key_Space, Qt::KeypadModifier));
    EXPECT_FALSE(main.comparing());
}

TEST_F(MainViewTest, AnyPlainReleaseOrLostActivationEndsComparing)
{
    MainView& main = showView();
    dropPictures(1);
    // A release with a modifier held passes on, and still ends comparing.
    press(Qt::Key_Space);
    EXPECT_TRUE(release(Qt::Key_Space, Qt::ShiftModifier));
    EXPECT_FALSE(main.comparing());

    // A release that reaches a text field ends it too.
    press(Qt::Key_Space);
    auto* editor = main.grid()->findChild<QPlainTextEdit*>();
    ASSERT_TRUE(editor);
    editor->setFocus();
    EXPECT_TRUE(release(Qt::Key_Space));
    EXPECT_FALSE(main.comparing());
    // While the text field has focus, space types.
    EXPECT_TRUE(press(Qt::Key_Space));
    EXPECT_FALSE(main.comparing());
    release(Qt::Key_Space);
    editor->clearFocus();

    // Switching to another application while holding space.
    press(Qt::Key_Space);
    ASSERT_TRUE(main.comparing());
    Q_EMIT qApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(main.comparing());
    Q_EMIT qApp->applicationStateChanged(Qt::ApplicationActive);
}

TEST_F(MainViewTest, ComparingDevelopedPicturesRecordsTheDateOncePerPress)
{
    MainView& main = showView();
    dropPictures(1);
    developAll();
    EXPECT_FALSE(press(Qt::Key_Space));
    ASSERT_TRUE(main.comparing());
    EXPECT_TRUE(main.grid()->tileFor(model->items()[0]->id));
    const auto first = model->settings().compareLastUsed();
    ASSERT_TRUE(first);
    defaults().remove("compareLastUsed");
    press(Qt::Key_Space, {}, true);
    EXPECT_FALSE(model->settings().compareLastUsed()) << "a repeat is the same press";
    release(Qt::Key_Space);
    press(Qt::Key_Space);
    EXPECT_TRUE(model->settings().compareLastUsed());
    release(Qt::Key_Space);
}

TEST_F(MainViewTest, EscapeAndArrowsWorkTheLightboxOnlyWhenItIsOpen)
{
    MainView& main = showView();
    dropPictures(3);
    // No lightbox: all pass on.
    for (int code : {Qt::Key_Escape, Qt::Key_Left, Qt::Key_Right}) {
        EXPECT_TRUE(press(code));
        EXPECT_TRUE(release(code));
    }
    const auto& items = model->items();
    model->setLightbox(items[0]);
    EXPECT_FALSE(press(Qt::Key_Left, Qt::KeypadModifier)) << "arrows carry the keypad flag";
    EXPECT_EQ(model->lightbox(), items[2]) << "wraps at the start";
    EXPECT_TRUE(release(Qt::Key_Left, Qt::KeypadModifier));
    EXPECT_FALSE(press(Qt::Key_Right));
    EXPECT_EQ(model->lightbox(), items[0]);
    EXPECT_TRUE(press(Qt::Key_Right, Qt::ShiftModifier));
    EXPECT_EQ(model->lightbox(), items[0]);
    EXPECT_FALSE(press(Qt::Key_Escape));
    EXPECT_EQ(model->lightbox(), nullptr);
    EXPECT_TRUE(release(Qt::Key_Escape));
    (void)main;
}

TEST_F(MainViewTest, ASheetInFrontKeepsEscapeButSpaceStillCompares)
{
    MainView& main = showView();
    dropPictures(2);
    model->setLightbox(model->items()[1]);
    auto* sheet = new SheetDialog(QStringLiteral("a sheet"), &main, 400);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
    sheet->activateWindow();
    QApplication::setActiveWindow(sheet);
    ASSERT_EQ(QApplication::activeWindow(), sheet);
    QPointer<SheetDialog> open(sheet);

    EXPECT_FALSE(press(Qt::Key_Space));
    EXPECT_TRUE(main.comparing());
    release(Qt::Key_Space);
    EXPECT_FALSE(main.comparing());
    EXPECT_TRUE(press(Qt::Key_Right));
    EXPECT_EQ(model->lightbox(), model->items()[1]);
    press(Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_TRUE(!open || !open->isVisible()) << "Escape closed the sheet";
    EXPECT_EQ(model->lightbox(), model->items()[1]) << "and left the lightbox behind it";
}

TEST_F(MainViewTest, TheFilterLivesWhileTheViewIsOnScreen)
{
    MainView& main = showView();
    EXPECT_TRUE(main.keys().installed());
    main.hide();
    EXPECT_FALSE(main.keys().installed());
    main.show();
    main.show();
    EXPECT_TRUE(main.keys().installed());
}

TEST_F(MainViewTest, SpaceComparesOnInputUntilAFieldIsClickedAndAgainAfterAClickElsewhere)
{
    MainView& main = showView();
    dropPictures(1);
    ASSERT_TRUE(main.band());
    // Nothing was clicked: the view holds the focus, not the first text field.
    EXPECT_FALSE(press(Qt::Key_Space));
    EXPECT_TRUE(main.comparing());
    release(Qt::Key_Space);
    auto* field = main.band()->findChild<QPlainTextEdit*>();
    ASSERT_TRUE(field);
    QTest::mouseClick(field->viewport(), Qt::LeftButton);
    EXPECT_TRUE(press(Qt::Key_Space));
    EXPECT_FALSE(main.comparing());
    release(Qt::Key_Space);
    QTest::mouseClick(&main, Qt::LeftButton, {}, QPoint(main.width() / 2, main.height() - 20));
    EXPECT_FALSE(press(Qt::Key_Space));
    EXPECT_TRUE(main.comparing());
    release(Qt::Key_Space);
}

// Space presses the button or switch that Tab reached, and compares everywhere else.
TEST_F(MainViewTest, SpacePressesTheButtonOrSwitchTabReached)
{
    MainView& main = showView();
    dropPictures(2);
    auto tabTo = [&](QWidget* control) {
        for (int stop = 0; stop < 40 && QApplication::focusWidget() != control; ++stop) press(Qt::Key_Tab);
        return QApplication::focusWidget() == control;
    };
    main.setFocus();
    ASSERT_TRUE(tabTo(main.bottomBar()->processButton()));
    EXPECT_TRUE(press(Qt::Key_Space));
    EXPECT_TRUE(release(Qt::Key_Space));
    EXPECT_FALSE(main.comparing());
    settle();
    ASSERT_TRUE(model->showConfirm());

    ASSERT_TRUE(main.presenter().current());
    auto* grain = main.presenter().current()->findChild<BoxSwitch*>();
    ASSERT_TRUE(grain);
    const bool was = grain->isOn();
    ASSERT_TRUE(tabTo(grain));
    press(Qt::Key_Space);
    release(Qt::Key_Space);
    EXPECT_NE(grain->isOn(), was);
    EXPECT_FALSE(main.comparing());
}

// Every control Tab reaches on the main window says so: a text field by its caret, a painted
// control by its focus mark.
TEST_F(MainViewTest, EveryTabStopOnTheWindowShowsTheFocus)
{
    MainView& main = showView();
    dropPictures(2);
    developAll();
    for (AppModel::Screen screen : {AppModel::Screen::results, AppModel::Screen::input}) {
        model->setScreen(screen);
        settle();
        main.setFocus();
        std::set<QWidget*> reached;
        for (int stop = 0; stop < 80; ++stop) {
            press(Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            ASSERT_TRUE(focus);
            if (!reached.insert(focus).second) break;
            auto* painted = qobject_cast<PaintedButton*>(focus);
            EXPECT_TRUE(CompareKeys::textHasFocus() || (painted && painted->showsFocusMark()))
                << focus->metaObject()->className() << " " << focus->accessibleName().toStdString();
        }
        EXPECT_GE(reached.size(), 4u);
    }
}

} // namespace
} // namespace oxel::testing
