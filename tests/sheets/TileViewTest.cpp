#include "sheets/TileView.h"

#include "sheets/TileCard.h"
#include "sheets/TileClock.h"
#include "support/DevelopedResult.h"
#include "support/ui/PixelChecks.h"
#include "support/ui/Screenshots.h"
#include "ui/kit/InkBoxLabel.h"
#include "ui/kit/LinkButton.h"
#include "ui/kit/NudgeEditor.h"
#include "ui/kit/PixelImage.h"
#include "ui/kit/RowLabel.h"
#include "ui/kit/SliderValue.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/kit/TextLabel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <atomic>

#include <gtest/gtest.h>

using namespace oxel;
using namespace oxel::pixels;
using namespace std::chrono_literals;
using oxel::testing::developedResult;

namespace {

const Date start = Date{} + 1000h;

// A landscape or portrait picture in a warm gradient, as a thumbnail would show one.
PictureHandle gradientPicture(int width, int height)
{
    return PictureHandle({width, height, [width, height] {
                              auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBX8);
                              for (int y = 0; y < height; ++y)
                                  for (int x = 0; x < width; ++x) {
                                      uint8_t* pixel = bitmap->mutableData() + y * bitmap->rowBytes() + x * 4;
                                      pixel[0] = static_cast<uint8_t>(120 + 120 * x / width);
                                      pixel[1] = static_cast<uint8_t>(90 + 80 * y / height);
                                      pixel[2] = 60;
                                      pixel[3] = 255;
                                  }
                              return bitmap;
                          }});
}

std::shared_ptr<BatchItem> photo(const std::string& name, bool thumbnail = true, bool portrait = false)
{
    return BatchItem::make(Uuid::random(), "/photos/" + name, Origin::opened, std::nullopt,
                           thumbnail ? std::optional(portrait ? gradientPicture(80, 120) : gradientPicture(120, 80))
                                     : std::nullopt);
}

QStringList texts(QWidget& tile)
{
    QStringList found;
    for (auto* label : tile.findChildren<TextLabel*>())
        if (label->isVisibleTo(&tile)) found << label->text();
    for (auto* label : tile.findChildren<QLabel*>())
        if (label->isVisibleTo(&tile)) found << label->text();
    for (auto* value : tile.findChildren<SliderValue*>())
        if (value->isVisibleTo(&tile) && !value->text().isEmpty()) found << value->text();
    return found;
}

struct TileTest : ::testing::Test {
    Date time = start;
    TileClock clock{[this] { return time; }};

    std::unique_ptr<TileView> tileOf(std::shared_ptr<BatchItem> item, int width = 240)
    {
        auto tile = std::make_unique<TileView>(std::move(item), clock);
        tile->resize(width, tile->heightForWidth(width));
        tile->show();
        return tile;
    }
};

} // namespace

TEST_F(TileTest, PictureBlockKeepsItsRatioAndCornerMargin)
{
    auto tile = tileOf(photo("a.jpg"), 212);
    EXPECT_EQ(tile->pictureBlockRect(), QRect(6, 6, 200, 133));
    tile->setPortrait(true);
    tile->resize(212, tile->heightForWidth(212));
    EXPECT_EQ(tile->pictureBlockRect(), QRect(6, 6, 200, 300));

    // Corner marks reach into the margin; the ground under an empty block is faint ink.
    auto empty = tileOf(photo("b.jpg", false), 212);
    const QImage image = grabbed(*empty);
    EXPECT_TRUE(pixelIs(image, 1, 1, ink(), 60)) << "corner mark";
    EXPECT_TRUE(pixelIs(image, 100, 60, over(paper(), ink(), 0.06), 3)) << "ground";
}

TEST_F(TileTest, ClockTicksTheElapsedTimeOfAProcessingItem)
{
    auto item = photo("a.jpg");
    item->setStartedAt(start);
    item->setPhase(phase::Processing{"rendering", std::nullopt});
    auto tile = tileOf(item);
    EXPECT_TRUE(texts(*tile).contains("rendering · 0:00"));
    time = start + 125s;
    clock.tick();
    EXPECT_TRUE(texts(*tile).contains("rendering · 2:05"));
    item->setPhase(phase::Queued{});
    EXPECT_TRUE(texts(*tile).contains("waiting"));
    item->setPhase(phase::Uploading{});
    EXPECT_TRUE(texts(*tile).contains("sending"));
    EXPECT_FALSE(texts(*tile).contains("waiting"));
}

TEST_F(TileTest, FailureOffersRetryOnlyWhenRetryableAndItsTextCanBeSelected)
{
    auto item = photo("a.jpg");
    item->setPhase(phase::Failed{std::nullopt, "the server is busy", true, false});
    auto tile = tileOf(item);
    QSignalSpy retried(tile.get(), &TileView::retryRequested);
    auto* message = tile->findChild<QLabel*>();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text(), "failed · the server is busy");
    EXPECT_TRUE(message->textInteractionFlags() & Qt::TextSelectableByMouse);
    auto* retry = tile->findChild<InkBoxLabel*>();
    ASSERT_TRUE(retry && retry->text() == "retry") << "the quiet boxed button";
    EXPECT_LT(retry->height(), 24) << "11 pt, padded 3 above and below";
    QTest::mouseClick(retry, Qt::LeftButton);
    ASSERT_EQ(retried.count(), 1);
    EXPECT_EQ(retried.at(0).at(0).value<std::shared_ptr<BatchItem>>(), item);

    item->setPhase(phase::Failed{std::nullopt, "no credit left", false, true});
    for (auto* button : tile->findChildren<QAbstractButton*>()) EXPECT_NE(button->text(), "retry");
}

TEST_F(TileTest, DoubleClickOnThePictureAsksForTheLightbox)
{
    auto item = photo("a.jpg");
    auto tile = tileOf(item);
    QSignalSpy lightbox(tile.get(), &TileView::lightboxRequested);
    QTest::mouseDClick(tile.get(), Qt::LeftButton, {}, tile->pictureBlockRect().center());
    QTest::mouseDClick(tile.get(), Qt::LeftButton, {}, QPoint(10, tile->height() - 3));
    EXPECT_EQ(lightbox.count(), 1);
}

TEST_F(TileTest, OfflineOriginalOffersLocateAndTheItemOutlivesItsTile)
{
    auto item = photo("a.jpg");
    item->setAvailability(Availability::offline("the disk “photos” is not connected"));
    auto tile = tileOf(item);
    QSignalSpy locate(tile.get(), &TileView::locateRequested);
    for (auto* button : tile->findChildren<QAbstractButton*>())
        if (button->text().startsWith("the disk")) button->click();
    EXPECT_EQ(locate.count(), 1);

    tile.reset();
    // Work that finishes late changes the item; no tile is there to hear it.
    item->setPhase(phase::Processing{"rendering", std::nullopt});
    item->setExportProgress(0.5);
    clock.tick();
    EXPECT_EQ(clock.memberCount(), 0);
}

TEST_F(TileTest, ScreenshotsOfEveryPhase)
{
    QWidget board;
    auto* grid = new QGridLayout(&board);
    grid->setSpacing(18);
    std::vector<std::shared_ptr<BatchItem>> items;
    auto add = [&](std::shared_ptr<BatchItem> item, bool portrait = false) {
        auto* tile = new TileView(item, clock, &board);
        tile->setPortrait(portrait);
        const int index = static_cast<int>(items.size());
        grid->addWidget(tile, index / 4, index % 4, Qt::AlignTop);
        tile->setFixedSize(232, tile->heightForWidth(232));
        items.push_back(std::move(item));
    };
    add(photo("IMG_0412.CR3"));
    auto queued = photo("queued.jpg");
    queued->setPhase(phase::Queued{});
    add(queued);
    auto processing = photo("processing.JPG");
    processing->setStartedAt(start - 125s);
    processing->setPhase(
        phase::Processing{"rendering", JobNarration{std::nullopt, std::nullopt, "warmer evening light from the left"}});
    add(processing);
    auto failed = photo("failed.tif");
    failed->setPhase(phase::Failed{"busy", "the server is busy. try again in a minute or two, or later today.", true});
    add(failed);
    auto exporting = photo("exporting.png");
    exporting->setPhase(phase::Done{});
    exporting->setExportProgress(0.42);
    add(exporting);
    auto offline = photo("offline.jpg");
    offline->setAvailability(Availability::offline("the disk “archive” is not connected"));
    offline->setNote("exported to ~/exports/offline-oxel.psd on a long line that goes on\nand a second line\nthird");
    add(offline);
    add(photo("empty.jpg", false));
    auto portrait = photo("portrait.jpg", true, true);
    portrait->setPhase(phase::Finishing{});
    add(portrait, true);

    board.resize(board.sizeHint());
    board.show();
    time = start;
    clock.tick();
    const auto shots = screenshots::capture(board, "tiles");
    EXPECT_FALSE(shots.light.isNull());
    EXPECT_FALSE(shots.dark.isNull());
}

TEST_F(TileTest, NudgeEditorFollowsTheBatchNudgeUntilEditedAndRelinks)
{
    auto item = BatchItem::make(Uuid::random(), "/photos/a.jpg", Origin::opened, SourceImage{}, std::nullopt);
    auto tile = tileOf(item);
    tile->setGlobalNudge("warmer");
    QSignalSpy edited(tile.get(), &TileView::nudgeEdited);
    QSignalSpy relinked(tile.get(), &TileView::nudgeRelinkRequested);
    auto* editor = tile->findChild<NudgeEditor*>();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), "warmer");
    EXPECT_TRUE(editor->isEnabled());

    editor->editor()->setPlainText("cooler");
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited[0][1].toString(), "cooler");
    EXPECT_FALSE(item->unlinkedNudge()) << "the model writes the item, not the tile";
    item->setNudge("cooler", "warmer"); // as the model does
    auto* relink = tile->findChild<LinkButton*>();
    ASSERT_TRUE(relink && relink->text() == "relink" && relink->isVisibleTo(tile.get())) << "the drawn link";
    relink->click();
    EXPECT_EQ(relinked.count(), 1);
    item->relinkNudge("warmer");
    EXPECT_EQ(editor->text(), "warmer");
    EXPECT_FALSE(relink->isVisibleTo(tile.get()));
    EXPECT_EQ(edited.count(), 1) << "the model's own change is not an edit";

    EXPECT_EQ(editor->opacity(), 1);
    tile->setColourOnlyInForce(true);
    EXPECT_FALSE(editor->isEnabled());
    EXPECT_EQ(editor->opacity(), 0.35) << "dimmed, not only locked";
}

TEST_F(TileTest, LightTrackFollowsItsRuleAndADoubleClickResetsIt)
{
    const float limit = TransferLimits{}.refineDivergenceLimit;
    auto item = photo("a.jpg");
    auto tile = tileOf(item);
    tile->setScreen(TileView::Screen::results);
    tile->setStrength(0.8);
    auto* track = tile->findChild<StrengthTrack*>();
    ASSERT_TRUE(track);
    EXPECT_FALSE(track->trackEnabled());
    EXPECT_FALSE(texts(*tile).contains("0.80")) << "no value without a result";
    auto* label = tile->findChild<RowLabel*>();
    ASSERT_TRUE(label && label->text() == "light");
    EXPECT_EQ(label->opacity(), 0.35) << "the whole row is dimmed without a result";
    EXPECT_EQ(track->rowOpacity(), 0.35);

    item->setResult(developedResult({.divergence = limit, .looks = false}));
    track = tile->findChild<StrengthTrack*>();
    tile->setStrength(0.8);
    EXPECT_TRUE(track->trackEnabled());
    EXPECT_TRUE(texts(*tile).contains("0.80"));
    EXPECT_EQ(tile->findChild<RowLabel*>()->opacity(), 1);
    EXPECT_EQ(tile->findChild<SliderValue*>()->weight(), FontWeight::light);

    item->setStrengthOffset(-0.2);
    item->setStrengthTouched(true);
    QSignalSpy reset(tile.get(), &TileView::lightReset);
    QTest::mouseDClick(track, Qt::LeftButton, {}, track->rect().center());
    EXPECT_EQ(reset.count(), 1);
    EXPECT_TRUE(item->strengthTouched()) << "the model resets the item, not the tile";

    item->setAvailability(Availability::offline("the disk is not connected"));
    EXPECT_FALSE(track->trackEnabled());
    QTest::mouseDClick(track, Qt::LeftButton, {}, track->rect().center());
    EXPECT_EQ(reset.count(), 1) << "a disabled track resets nothing";

    item->setResult(developedResult({.colourOnly = true, .divergence = std::nullopt, .looks = false}));
    EXPECT_FALSE(tile->findChild<StrengthTrack*>());
    EXPECT_TRUE(texts(*tile).contains("none · colour only"));
    for (auto* text : tile->findChildren<TextLabel*>())
        if (text->text() == "light" || text->text() == "none · colour only") {
            EXPECT_EQ(text->opacity(), 0.7);
        }
}

TEST_F(TileTest, ScreenshotsOfInputAndResults)
{
    QWidget board;
    auto* grid = new QHBoxLayout(&board);
    grid->setSpacing(18);
    auto linked =
        BatchItem::make(Uuid::random(), "/photos/linked.jpg", Origin::opened, SourceImage{}, gradientPicture(120, 80));
    auto unlinked = BatchItem::make(Uuid::random(), "/photos/unlinked.jpg", Origin::opened, SourceImage{},
                                    gradientPicture(120, 80));
    unlinked->setNudge("a softer sky over the hills", "warmer");
    auto result = photo("developed.jpg");
    result->setResult(developedResult({.looks = false}));
    result->setStrengthTouched(true);
    auto colourOnly = photo("colour.jpg");
    colourOnly->setResult(developedResult({.colourOnly = true, .divergence = std::nullopt, .looks = false}));
    // A hand-off picture located elsewhere, left out when the others went back.
    auto located = photo("located.jpg");
    located->setResult(developedResult({.looks = false}));
    located->setNote("not sent back · the file was located, not handed over · export it instead");
    // Developed, each shows its own picture.
    for (const auto& item : {result, colourOnly, located})
        item->setDevelopedCopy(BatchItem::DevelopedCopy::counting(*gradientPicture(120, 80).bitmap(), {}, {}));
    for (const auto& [item, screen] : {std::pair{linked, TileView::Screen::input},
                                       {unlinked, TileView::Screen::input},
                                       {result, TileView::Screen::results},
                                       {colourOnly, TileView::Screen::results},
                                       {located, TileView::Screen::results}}) {
        auto* tile = new TileView(item, clock, &board);
        tile->setGlobalNudge("warmer");
        tile->setScreen(screen);
        tile->setStrength(0.75);
        tile->setFixedSize(232, tile->heightForWidth(232));
        grid->addWidget(tile, 0, Qt::AlignTop);
    }
    board.resize(board.sizeHint());
    board.show();
    const auto shots = screenshots::capture(board, "tiles-input-and-results");
    EXPECT_FALSE(shots.light.isNull());
}

TEST_F(TileTest, TextsOfAnyLengthStayWithinTheTile)
{
    const std::string endless(5000, 'x');
    auto item = photo("a.jpg");
    item->setStartedAt(start);
    item->setPhase(phase::Processing{"rendering", JobNarration{std::nullopt, std::nullopt, endless + " " + endless}});
    item->setNote(endless + "\n" + endless + "\n" + endless);
    auto tile = tileOf(item, 212);
    const int height = tile->heightForWidth(212);
    EXPECT_LT(height, 400) << "the note keeps to two lines";
    for (auto* card : tile->findChildren<TileCard*>())
        if (card->isVisibleTo(tile.get())) {
            EXPECT_TRUE(tile->pictureBlockRect().contains(card->geometry())) << "the card stays on the picture";
        }

    item->setPhase(phase::Failed{std::nullopt, endless, true, false});
    for (auto* card : tile->findChildren<TileCard*>())
        if (card->isVisibleTo(tile.get())) {
            EXPECT_TRUE(tile->pictureBlockRect().contains(card->geometry())) << "the failure card too";
        }
}

TEST_F(TileTest, ContextMenuOpensOnThePictureOnly)
{
    auto item = photo("a.jpg");
    auto tile = tileOf(item);
    QSignalSpy menu(tile.get(), &TileView::contextMenuRequested);
    const QPoint inside = tile->pictureBlockRect().center();
    QContextMenuEvent onPicture(QContextMenuEvent::Mouse, inside, tile->mapToGlobal(inside));
    QApplication::sendEvent(tile.get(), &onPicture);
    const QPoint below(10, tile->height() - 3);
    QContextMenuEvent onCaption(QContextMenuEvent::Mouse, below, tile->mapToGlobal(below));
    QApplication::sendEvent(tile.get(), &onCaption);
    ASSERT_EQ(menu.count(), 1);
    EXPECT_EQ(menu.at(0).at(0).value<std::shared_ptr<BatchItem>>(), item);
}

TEST_F(TileTest, ComparingSwapsThePictureAndOnlyTheThumbnailDims)
{
    auto item = photo("a.jpg");
    item->setPhase(phase::Queued{});
    auto tile = tileOf(item);
    auto* picture = tile->findChild<PixelImage*>();
    ASSERT_TRUE(picture);
    EXPECT_DOUBLE_EQ(picture->opacity(), 0.35);
    const auto preview = gradientPicture(60, 40);
    const auto made = preview.pin(); // made as it arrived, as a delivered result's preview is
    item->setPreviewImage(preview);
    EXPECT_DOUBLE_EQ(picture->opacity(), 1);
    EXPECT_EQ(picture->pictureSize().width(), 60);
    tile->setComparing(true);
    EXPECT_EQ(picture->pictureSize().width(), 120) << "the thumbnail, never the developed preview";
    item->setOriginalPreview(gradientPicture(90, 60));
    EXPECT_EQ(picture->pictureSize().width(), 90);
}

TEST_F(TileTest, AResultShowsItsOwnPictureElseItsKeptThumbnailNeverTheOriginalNorAPreviewItWouldMake)
{
    auto item = photo("a.jpg"); // its thumbnail is the original's
    item->setResult(developedResult());
    std::atomic<int> previewsMade = 0;
    item->setPreviewImage(PictureHandle({60, 40, [&previewsMade, gradient = gradientPicture(60, 40)] {
                                             ++previewsMade;
                                             return gradient.bitmap();
                                         }}));
    auto tile = tileOf(item);
    auto* picture = tile->findChild<PixelImage*>();
    tile->repaint();
    EXPECT_TRUE(picture->handle().isNull()) << "nothing until a developed picture comes";
    item->setDevelopedThumbnail(gradientPicture(30, 20));
    EXPECT_EQ(picture->handle(), *item->developedThumbnail());
    item->setDevelopedCopy(
        BatchItem::DevelopedCopy::counting(*gradientPicture(45, 30).bitmap(), *item->previewImage(), {}));
    tile->repaint();
    EXPECT_EQ(picture->pictureSize().width(), 45);
    EXPECT_EQ(previewsMade, 0) << "the tile never makes the preview";
    // Far from the view, the tile keeps no pixels besides those the picture budget counts.
    tile->releasePixmaps();
    EXPECT_TRUE(picture->displayed().isNull() && !picture->holdsScaled());
}

TEST_F(TileTest, ATileScrolledAwayBeforeItsPreviewCameWaitsQuietlyAndShowsItWhenBackInView)
{
    // Reopened: the thumbnail is drawn while the result is rebuilt, then the tile leaves the view.
    auto item = photo("a.jpg");
    auto tile = tileOf(item);
    auto* picture = tile->findChild<PixelImage*>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return picture->holdsScaled(); }));
    tile->releasePixmaps();
    tile->hide();
    QSignalSpy shown(picture, &PixelImage::pictureShown);
    item->setPreviewImage(gradientPicture(60, 40));
    QTest::qWait(100);
    EXPECT_LE(shown.count(), 1) << "a tile out of view waits for its next paint, never refreshes itself";

    tile->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return picture->handle() == *item->previewImage() && picture->holdsScaled(); }));
}
