// The tile grid in the main window: columns by the window's width and the batch's orientation,
// tiles that keep their identity as the window changes, and the compare flag handed to each tile.
#include "MainViewFixture.h"

#include "sheets/TileGrid.h"
#include "sheets/TileView.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/window/ResultsBand.h"
#include "ui/window/StrengthBand.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>

namespace oxel::testing {
namespace {

// The grid's width as the layout takes it: the scroll bar's room is always kept.
int layoutWidth(TileGrid& grid)
{
    return grid.width() - grid.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

TEST_F(MainViewTest, TilesKeepTheirIdentityAndMoveBetweenRowsAsTheWindowWidens)
{
    MainView& main = showView({900, 620});
    dropPictures(5);
    TileGrid& grid = *main.grid();
    EXPECT_EQ(grid.currentLayout(), tileLayoutForGrid(layoutWidth(grid), false));
    ASSERT_EQ(grid.currentLayout().columns, 2);
    std::vector<TileView*> before;
    for (const auto& item : model->items()) before.push_back(grid.tileFor(item->id));
    // The third tile starts the second row, 22 below the first.
    EXPECT_EQ(before[2]->x(), TileLayout::sideMargin);
    EXPECT_EQ(before[0]->y(), TileLayout::topMargin);
    EXPECT_EQ(before[2]->y(), before[0]->y() + before[0]->height() + TileLayout::gap);
    EXPECT_EQ(before[1]->x(), TileLayout::sideMargin + grid.currentLayout().width + TileLayout::gap);

    main.resize(1600, 800);
    settle();
    ASSERT_EQ(grid.currentLayout().columns, 4);
    for (size_t index = 0; index < before.size(); ++index)
        EXPECT_EQ(grid.tileFor(model->items()[index]->id), before[index]) << index;
    EXPECT_EQ(before[2]->y(), before[0]->y()) << "the third tile moved up into the first row";
    EXPECT_EQ(before[4]->x(), TileLayout::sideMargin);
    EXPECT_EQ(before[0]->width(), grid.currentLayout().width);

    model->newBatch();
    settle();
    EXPECT_EQ(main.grid(), nullptr) << "the empty sheet is back";
}

TEST_F(MainViewTest, AMostlyPortraitBatchNarrowsTheTiles)
{
    MainView& main = showView({1200, 800});
    std::vector<std::filesystem::path> files{writeJPEG("wide.jpg", 600, 400), writeJPEG("tall1.jpg", 400, 600),
                                             writeJPEG("tall2.jpg", 400, 600)};
    drop({files[0]});
    settle();
    TileGrid& grid = *main.grid();
    EXPECT_EQ(grid.currentLayout(), tileLayout(layoutWidth(grid) - 40, 300, 480));
    drop({files[1], files[2]});
    settle();
    ASSERT_TRUE(model->mostlyPortrait());
    EXPECT_EQ(grid.currentLayout(), tileLayout(layoutWidth(grid) - 40, 220, 330));
    EXPECT_GT(grid.currentLayout().columns, 3);
    for (const auto& item : model->items()) EXPECT_TRUE(grid.tileFor(item->id)->isPortrait());
}

TEST_F(MainViewTest, OneTileAndItemsWithoutPicturesStillLayOut)
{
    MainView& main = showView({900, 620});
    dropPictures(1);
    TileGrid& grid = *main.grid();
    ASSERT_EQ(grid.tileCount(), 1);
    EXPECT_EQ(grid.tileFor(model->items()[0]->id)->width(), grid.currentLayout().width);
    // A tile double clicked opens the lightbox on its item.
    TileView& tile = *grid.tileFor(model->items()[0]->id);
    QTest::mouseDClick(&tile, Qt::LeftButton, {}, tile.pictureBlockRect().center());
    EXPECT_EQ(model->lightbox(), model->items()[0]);
}

TEST_F(MainViewTest, GridScrollsWithManyTiles)
{
    MainView& main = showView({900, 620});
    dropPictures(9);
    TileGrid& grid = *main.grid();
    EXPECT_GT(grid.verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(grid.widget()->height(),
              grid.tileFor(model->items()[8]->id)->geometry().bottom() + 1 + TileLayout::bottomMargin);
}

TEST_F(MainViewTest, TilesFarFromViewLetTheirScaledPicturesGo)
{
    MainView& main = showView({900, 620});
    dropPictures(24);
    TileGrid& grid = *main.grid();
    main.repaint();
    TileView& first = *grid.tileFor(model->items()[0]->id);
    EXPECT_TRUE(first.holdsPixmaps());
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
    settle();
    main.repaint();
    EXPECT_FALSE(first.holdsPixmaps()) << "more than two screens above the view";
    EXPECT_TRUE(grid.tileFor(model->items()[23]->id)->holdsPixmaps());
    grid.verticalScrollBar()->setValue(0);
    settle();
    main.repaint();
    EXPECT_TRUE(first.holdsPixmaps()) << "made again when painted";
}

// A row above the view whose tiles get their first result grows by their colour rows; the tiles
// the photographer looks at stay where they are on screen.
TEST_F(MainViewTest, ARowGrowingAboveTheViewLeavesTheTilesInViewInPlace)
{
    MainView& main = showView({900, 620});
    dropPictures(8);
    developAll();
    const auto result = model->items()[0]->result();
    for (int index : {0, 1}) model->items()[index]->setResult(nullptr);
    settle();
    QScrollBar& bar = *main.grid()->verticalScrollBar();
    bar.setValue(bar.maximum());
    settle();
    const auto onScreen = [&] {
        return main.grid()->tileFor(model->items()[6]->id)->mapTo(main.grid()->viewport(), QPoint());
    };
    const QPoint before = onScreen();
    const int scrolled = bar.value();
    model->items()[0]->setResult(result);
    settle();
    EXPECT_GT(bar.value(), scrolled) << "the view follows the grown first row";
    EXPECT_EQ(onScreen(), before);
}

// Counts paints and layout requests anywhere in the application.
class Repaints : public QObject {
public:
    Repaints() { qApp->installEventFilter(this); }
    ~Repaints() override { qApp->removeEventFilter(this); }
    int paints = 0;
    int layouts = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        if (event->type() == QEvent::LayoutRequest) ++layouts;
        return false;
    }
};

TEST_F(MainViewTest, ADevelopedBatchLeftAloneLaysOutAndPaintsNothing)
{
    MainView& main = showView({1200, 800});
    dropPictures(6);
    developAll();
    ASSERT_EQ(model->screen(), AppModel::Screen::results);
    main.repaint();
    QTest::qWait(200);
    Repaints repaints;
    QTest::qWait(1000);
    EXPECT_EQ(repaints.paints, 0);
    EXPECT_EQ(repaints.layouts, 0);
}

// One pointer event on a track, a fraction of its width from its left end.
void pointer(StrengthTrack& track, QEvent::Type type, double fraction)
{
    const QPointF at(track.width() * fraction, track.height() / 2.0);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, track.mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(&track, &event);
}

// A drag of the batch light: each move shows every tile's new strength, a tile with its own offset
// keeping it, and configures no tile again, lays the grid out again nor refreshes the window.
TEST_F(MainViewTest, ABatchSliderMoveUpdatesTheTilesValuesOnly)
{
    MainView& main = showView({1200, 800});
    dropPictures(6);
    developAll();
    model->setStrength(0.2, model->items()[0]);
    settle();
    TileGrid& grid = *main.grid();
    auto* band = qobject_cast<ResultsBand*>(main.band());
    ASSERT_NE(band, nullptr);
    StrengthTrack& batch = *band->strengthBand()->track();
    const TileGrid::Work before = grid.work();
    const int refreshesBefore = main.refreshes();
    pointer(batch, QEvent::MouseButtonPress, 0.5);
    settle();
    for (double fraction : {0.45, 0.4, 0.3, 0.6}) {
        pointer(batch, QEvent::MouseMove, fraction);
        settle();
    }
    pointer(batch, QEvent::MouseButtonRelease, 0.6);
    settle();

    EXPECT_NEAR(model->globalStrength(), 0.6, 0.01);
    for (const auto& item : model->items())
        EXPECT_DOUBLE_EQ(grid.tileFor(item->id)->findChild<StrengthTrack*>()->value(), model->strength(*item));
    EXPECT_EQ(grid.work().tilesConfigured, before.tilesConfigured) << "no tile is configured again";
    EXPECT_EQ(grid.work().placements, before.placements) << "nor the grid laid out";
    EXPECT_EQ(main.refreshes(), refreshesBefore) << "nor the window's bars";
}

} // namespace
} // namespace oxel::testing
