// The sign-in and update-required screens: what they show for each configuration and state, what
// their buttons ask for, and their pictures in both appearances at the two window sizes.
#include "support/ui/Screenshots.h"
#include "ui/kit/InkBoxLabel.h"
#include "ui/kit/TextLabel.h"
#include "ui/screens/SignInView.h"
#include "ui/screens/UpdateRequiredView.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace oxel {
namespace {

const QSize largeWindow(1200, 800), smallWindow(900, 620);

void clickOn(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

void captureAtBothSizes(QWidget& screen, const QString& name)
{
    for (const QSize size : {largeWindow, smallWindow}) {
        screen.resize(size);
        screen.show();
        screenshots::capture(screen, QStringLiteral("%1-%2x%3").arg(name).arg(size.width()).arg(size.height()));
    }
}

TEST(SignInViewTest, ShowsOneButtonPerConfiguredProvider)
{
    const SignInView both({.apple = true, .google = true});
    EXPECT_EQ(both.appleButton()->label(), "sign in with apple");
    EXPECT_EQ(both.googleButton()->label(), "sign in with google");

    const SignInView googleOnly({.apple = false, .google = true});
    EXPECT_EQ(googleOnly.appleButton(), nullptr);
    ASSERT_NE(googleOnly.googleButton(), nullptr);

    const SignInView none({});
    EXPECT_EQ(none.appleButton(), nullptr);
    EXPECT_EQ(none.googleButton(), nullptr);
    EXPECT_TRUE(none.findChildren<InkBoxLabel*>().isEmpty());
}

TEST(SignInViewTest, ButtonsAskForTheirOwnProvider)
{
    SignInView view({.apple = true, .google = true});
    view.resize(largeWindow);
    view.show();
    QSignalSpy apple(&view, &SignInView::appleRequested), google(&view, &SignInView::googleRequested);
    clickOn(view.googleButton());
    EXPECT_EQ(apple.count(), 0);
    EXPECT_EQ(google.count(), 1);
    clickOn(view.appleButton());
    EXPECT_EQ(apple.count(), 1);
}

TEST(SignInViewTest, BusyDimsBothButtonsAndIgnoresClicksUntilItEnds)
{
    SignInView view({.apple = true, .google = true});
    view.resize(largeWindow);
    view.show();
    QSignalSpy apple(&view, &SignInView::appleRequested), google(&view, &SignInView::googleRequested);

    view.setBusy(true);
    for (InkBoxLabel* button : {view.appleButton(), view.googleButton()}) {
        EXPECT_FALSE(button->isEnabled());
        EXPECT_DOUBLE_EQ(button->disabledOpacity(), 0.5);
        clickOn(button);
    }
    EXPECT_EQ(apple.count() + google.count(), 0);

    view.setBusy(false);
    EXPECT_TRUE(view.appleButton()->isEnabled());
    EXPECT_TRUE(view.googleButton()->isEnabled());
    clickOn(view.googleButton());
    EXPECT_EQ(google.count(), 1);
}

TEST(SignInViewTest, ErrorLineFollowsTheLastError)
{
    SignInView view({.apple = true, .google = true});
    view.resize(largeWindow);
    view.show();
    EXPECT_FALSE(view.errorLine()->isVisibleTo(&view));
    view.setError(QStringLiteral("the server returned no account"));
    EXPECT_TRUE(view.errorLine()->isVisibleTo(&view));
    EXPECT_EQ(view.errorLine()->text(), "the server returned no account");
    EXPECT_GT(view.errorLine()->mapTo(&view, QPoint()).y(), view.googleButton()->mapTo(&view, QPoint()).y());
    view.setError(std::nullopt);
    EXPECT_FALSE(view.errorLine()->isVisibleTo(&view));
}

TEST(UpdateRequiredViewTest, UpdateNowAsksOncePerClickAndTheScreenStays)
{
    UpdateRequiredView view;
    view.resize(largeWindow);
    view.show();
    QSignalSpy asked(&view, &UpdateRequiredView::updateRequested);
    EXPECT_EQ(view.updateButton()->label(), "update now");
    clickOn(view.updateButton());
    clickOn(view.updateButton());
    EXPECT_EQ(asked.count(), 2);
    EXPECT_TRUE(view.isVisible());
    EXPECT_TRUE(view.updateButton()->isEnabled());
}

TEST(StartScreensScreenshots, SignInInEachStateAndUpdateRequired)
{
    SignInView both({.apple = true, .google = true});
    captureAtBothSizes(both, "sign-in");
    both.setBusy(true);
    captureAtBothSizes(both, "sign-in-busy");
    both.setBusy(false);
    both.setError(QStringLiteral("the server returned no account"));
    captureAtBothSizes(both, "sign-in-error");
    SignInView none({});
    captureAtBothSizes(none, "sign-in-no-provider");
    UpdateRequiredView update;
    captureAtBothSizes(update, "update-required");
}

} // namespace
} // namespace oxel
