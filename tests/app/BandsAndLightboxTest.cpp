// The band over the grid follows the screen, and the lightbox lies over the whole window with the
// compare flag handed to it.
#include "MainViewFixture.h"

#include "sheets/TileGrid.h"
#include "support/ui/Screenshots.h"
#include "ui/window/CompareHint.h"
#include "ui/window/LightboxView.h"
#include "ui/window/NudgeBand.h"
#include "ui/window/ResultsBand.h"

namespace oxel::testing {
namespace {

TEST_F(MainViewTest, TheBandFollowsTheScreen)
{
    MainView& main = showView();
    EXPECT_EQ(main.band(), nullptr);
    dropPictures(2);
    EXPECT_TRUE(qobject_cast<NudgeBand*>(main.band()));
    developAll();
    EXPECT_TRUE(qobject_cast<ResultsBand*>(main.band()));
    // The band stands between the rule under the top bar and the grid.
    EXPECT_LT(main.band()->mapTo(&main, QPoint()).y(), main.grid()->mapTo(&main, QPoint()).y());
    model->setScreen(AppModel::Screen::input);
    settle();
    EXPECT_TRUE(qobject_cast<NudgeBand*>(main.band()));
}

TEST_F(MainViewTest, TheLightboxCoversTheWindowAndComparesWithIt)
{
    for (QSize size : {QSize(1200, 800), QSize(900, 620)}) {
        showView(size);
        MainView& main = *view;
        dropPictures(3);
        developAll();
        model->setLightbox(model->items()[1]);
        settle();
        ASSERT_TRUE(main.lightbox());
        EXPECT_EQ(main.lightbox()->geometry(), main.rect());
        EXPECT_EQ(main.lightbox()->item(), model->items()[1]);
        // The hint lies over the lightbox, the drop highlight over both.
        const auto children = main.children();
        EXPECT_GT(children.indexOf(main.compareHint()), children.indexOf(main.lightbox()));
        EXPECT_GT(children.indexOf(main.dropHighlight()), children.indexOf(main.compareHint()));
        const QString name = QStringLiteral("main-lightbox-%1x%2").arg(size.width()).arg(size.height());
        screenshots::capture(main, name);

        press(Qt::Key_Space);
        EXPECT_TRUE(main.lightbox()->comparing());
        release(Qt::Key_Space);
        EXPECT_FALSE(main.lightbox()->comparing());
        press(Qt::Key_Right);
        settle();
        EXPECT_EQ(main.lightbox()->item(), model->items()[2]);
        press(Qt::Key_Escape);
        settle();
        EXPECT_EQ(main.lightbox(), nullptr);
        view.reset();
        model->newBatch();
    }
}

} // namespace
} // namespace oxel::testing
