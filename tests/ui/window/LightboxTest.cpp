#include "BandFixture.h"

#include "support/ui/PixelChecks.h"
#include "support/ui/Screenshots.h"
#include "ui/kit/DisplayPicture.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LookMark.h"
#include "ui/kit/PaintedButton.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PixelImage.h"
#include "ui/kit/SliderRow.h"
#include "ui/kit/SliderValue.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/kit/TextLabel.h"
#include "ui/window/ColourRow.h"
#include "ui/window/LightboxRules.h"
#include "ui/window/LightboxView.h"
#include "ui/window/LookPicker.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace oxel;
using namespace oxel::testing;

namespace {

QPoint middleOf(QWidget& widget)
{
    return widget.rect().center();
}

struct LightboxTest : BandTest {
    std::unique_ptr<LightboxView> shownLightbox(const std::shared_ptr<BatchItem>& item, bool comparing = false)
    {
        model->setLightbox(item);
        auto view = std::make_unique<LightboxView>(*model);
        view->setItem(item);
        view->setComparing(comparing);
        view->resize(1200, 800);
        view->show();
        settle();
        return view;
    }
};

struct ColourRowTest : BandTest {
    std::unique_ptr<ColourRow> shownRow(const std::shared_ptr<BatchItem>& item,
                                        ColourRow::Sizes sizes = ColourRow::Sizes::lightbox())
    {
        auto row = std::make_unique<ColourRow>(*model, item, sizes);
        row->resize(520, row->sizeHint().height());
        row->show();
        settle();
        return row;
    }
};

} // namespace

TEST_F(ColourRowTest, OffsetsAreKeptFromTheBatchAndClampedAtTheEnds)
{
    auto item = dropPhotographs(1).front();
    develop(*item);
    item->setColourOffset(0.3);
    item->setColourTouched(true);
    model->setGlobalColour(0.5);
    auto row = shownRow(item);
    SliderValue& value = *row->trackRow()->value();
    EXPECT_EQ(value.text(), "0.80");
    EXPECT_EQ(value.weight(), FontWeight::regular) << "set by hand";
    model->setGlobalColour(0.9);
    settle();
    EXPECT_EQ(value.text(), "1.00");
    EXPECT_DOUBLE_EQ(row->trackRow()->track()->value(), 1.0);
}

TEST_F(ColourRowTest, DoubleClickDropsTheOffsetAndFollowsTheBatchAgain)
{
    auto item = dropPhotographs(1).front();
    develop(*item);
    model->setGlobalColour(0.6);
    item->setColourOffset(-0.2);
    item->setColourTouched(true);
    auto row = shownRow(item);
    SliderValue& value = *row->trackRow()->value();
    EXPECT_EQ(value.text(), "0.40");
    EXPECT_EQ(value.weight(), FontWeight::regular);

    model->saveNow();
    StrengthTrack& track = *row->trackRow()->track();
    QTest::mouseDClick(&track, Qt::LeftButton, {}, middleOf(track));
    settle();
    EXPECT_EQ(item->colourOffset(), 0);
    EXPECT_FALSE(item->colourTouched());
    EXPECT_EQ(value.text(), "0.60");
    EXPECT_EQ(value.weight(), FontWeight::light);
    EXPECT_TRUE(model->saving().dirty().contains(item->id)) << "the image's record is saved later";
    EXPECT_TRUE(model->previews().inFlight().contains(item->id)) << "a new preview is asked for";
}

TEST_F(ColourRowTest, LookPickerMarksTheChosenLookAndTellsEachOne)
{
    auto item = dropPhotographs(1).front();
    develop(*item);
    auto row = shownRow(item);
    LookPicker& picker = *row->lookPicker();
    ASSERT_TRUE(picker.isVisibleTo(row.get()));
    ASSERT_EQ(picker.lookCount(), 2);
    EXPECT_EQ(picker.look(0)->toolTip(), "warm late sun, lifted shadows");
    EXPECT_EQ(picker.look(1)->toolTip(), "the runner-up look");
    EXPECT_TRUE(picker.mark(0)->chosen());
    EXPECT_FALSE(picker.mark(1)->chosen());
    EXPECT_EQ(picker.mark(1)->picture()->opacity(), LookMark::unchosenOpacity);
    // The thumbnails start under the track, and keep their own proportions at 44 high.
    EXPECT_EQ(picker.look(0)->mapTo(row.get(), QPoint()).x(), 54 + 10);
    EXPECT_EQ(picker.look(0)->size(), QSize(66 + 6, 44 + 6));

    item->setUseAlternative(true);
    settle();
    EXPECT_FALSE(picker.mark(0)->chosen());
    EXPECT_TRUE(picker.mark(1)->chosen());
}

TEST_F(ColourRowTest, ChoosingTheRunnerUpAtNoColourRaisesItToFull)
{
    auto item = dropPhotographs(1).front();
    develop(*item);
    model->setGlobalColour(0.5);
    item->setColourOffset(-0.5);
    auto row = shownRow(item, ColourRow::Sizes::tile());
    EXPECT_EQ(row->trackRow()->value()->text(), "0.00");
    row->lookPicker()->look(1)->click();
    settle();
    EXPECT_TRUE(item->useAlternative());
    EXPECT_EQ(row->trackRow()->value()->text(), "1.00");
    EXPECT_EQ(row->trackRow()->value()->weight(), FontWeight::regular);
    EXPECT_TRUE(row->lookPicker()->mark(1)->chosen());

    // Dragging the track sets the image's own offset from the batch.
    StrengthTrack& track = *row->trackRow()->track();
    QTest::mouseClick(&track, Qt::LeftButton, {}, QPoint(int(StrengthTrack::positionOf(0.7, track.width())), 11));
    EXPECT_NEAR(model->colour(*item), 0.7, 0.02);
    EXPECT_NEAR(item->colourOffset(), model->colour(*item) - 0.5, 1e-9);
}

TEST_F(ColourRowTest, OddResultsKeepThePickerSound)
{
    auto item = dropPhotographs(1).front();
    develop(*item, {.lookThumbs = 1});
    auto row = shownRow(item);
    EXPECT_FALSE(row->lookPicker()->isVisibleTo(row.get())) << "one look leaves nothing to choose";

    develop(*item, {.looks = false});
    settle();
    ASSERT_EQ(row->lookPicker()->lookCount(), 2);
    EXPECT_EQ(row->lookPicker()->look(0)->toolTip(), "") << "no looks, no description";

    develop(*item, {.thumbHeight = 0});
    settle();
    ASSERT_EQ(row->lookPicker()->lookCount(), 2);
    EXPECT_EQ(row->lookPicker()->look(0)->width(), 4 * 44 + 6) << "0 high is drawn as 1 high, at most 4:1";
    EXPECT_EQ(LookPicker::thumbnailWidth(90, 0, 34), 4 * 34);
    EXPECT_EQ(LookPicker::thumbnailWidth(90, 60, 34), 51);
    EXPECT_EQ(LookPicker::thumbnailWidth(0, 60, 34), 0);
}

TEST_F(LightboxTest, UndevelopedPictureShowsItsThumbnailAndNoAdjustments)
{
    auto item = dropPhotographs(1).front();
    auto view = shownLightbox(item);
    EXPECT_EQ(view->hintLine()->text(), "not developed yet");
    EXPECT_EQ(view->adjustmentRow(), nullptr);
    EXPECT_TRUE(sameDisplayIdentity(view->shownPicture()->picture(), *item->thumbnail()->bitmap()));
    EXPECT_TRUE(view->infoLine()->text().startsWith("300×200 · 8-bit · ")) << view->infoLine()->text().toStdString();

    view->setComparing(true);
    EXPECT_EQ(view->hintLine()->text(), "original");
    EXPECT_TRUE(sameDisplayIdentity(view->shownPicture()->picture(), *item->thumbnail()->bitmap()))
        << "no original preview yet: the thumbnail";
}

TEST_F(LightboxTest, DevelopedPictureFollowsItsItemAndSwapsForTheOriginal)
{
    auto item = dropPhotographs(1).front();
    develop(*item);
    auto view = shownLightbox(item);
    EXPECT_EQ(view->hintLine()->text(), "hold space to compare · ← → next");
    EXPECT_TRUE(sameDisplayIdentity(view->shownPicture()->picture(), *item->previewImage()->bitmap()));
    view->setComparing(true);
    EXPECT_TRUE(sameDisplayIdentity(view->shownPicture()->picture(), *item->originalPreview()->bitmap()));
    view->setComparing(false);

    // A preview that finishes while the lightbox is open shows at once.
    item->setPreviewImage(gradientPicture(300, 200, 90));
    settle();
    EXPECT_TRUE(sameDisplayIdentity(view->shownPicture()->picture(), *item->previewImage()->bitmap()));

    // The corner marks sit 8 in from the picture's frame, in ink.
    const QImage shot = screenshots::render(*view, Appearance::light);
    const QPoint corner = view->pictureArea()->mapTo(view.get(), QPoint(8, 8));
    EXPECT_TRUE(pixels::pixelIs(shot, corner.x() + 5, corner.y(), pixels::ink(), 90));
}

TEST_F(LightboxTest, LightTrackFollowsTheBatchAndItsRule)
{
    auto item = dropPhotographs(1).front();
    const float limit = developedResult()->transfer.limits().refineDivergenceLimit;
    develop(*item, {.divergence = limit});
    item->setStrengthOffset(0.3);
    item->setStrengthTouched(true);
    model->setGlobalStrength(0.5);
    auto view = shownLightbox(item);
    ASSERT_NE(view->lightRow(), nullptr);
    StrengthTrack& track = *view->lightRow()->track();
    EXPECT_TRUE(track.trackEnabled()) << "a divergence equal to the limit is within it";
    EXPECT_EQ(view->lightRow()->value()->text(), "0.80");
    model->setGlobalStrength(0.9);
    settle();
    EXPECT_EQ(view->lightRow()->value()->text(), "1.00");

    model->saveNow();
    QTest::mouseDClick(&track, Qt::LeftButton, {}, middleOf(track));
    settle();
    EXPECT_EQ(item->strengthOffset(), 0);
    EXPECT_FALSE(item->strengthTouched());
    EXPECT_EQ(view->lightRow()->value()->text(), "0.90");
    EXPECT_EQ(view->lightRow()->value()->weight(), FontWeight::light);
    EXPECT_TRUE(model->saving().dirty().contains(item->id));
    EXPECT_TRUE(model->previews().inFlight().contains(item->id)) << "a new preview is asked for";
    EXPECT_EQ(model->lightbox(), item) << "a double click on the track does not close";

    // Without a plan the track cannot move, and ignores double clicks too.
    develop(*item, {.divergence = std::nullopt});
    item->setStrengthOffset(-0.2);
    item->setStrengthTouched(true);
    settle();
    StrengthTrack& declined = *view->lightRow()->track();
    EXPECT_FALSE(declined.trackEnabled());
    QTest::mouseDClick(&declined, Qt::LeftButton, {}, middleOf(declined));
    EXPECT_DOUBLE_EQ(item->strengthOffset(), -0.2);
    EXPECT_EQ(model->lightbox(), item);
}

TEST_F(LightboxTest, ColourOnlyResultHasNoLightTrack)
{
    auto item = dropPhotographs(1).front();
    develop(*item, {.colourOnly = true});
    auto view = shownLightbox(item);
    EXPECT_EQ(view->lightRow(), nullptr);
    EXPECT_TRUE(visibleTexts(*view).contains(lightbox::colourOnlyLight));
    EXPECT_NE(view->colourRow(), nullptr);
}

TEST_F(LightboxTest, ColourColumnKeepsItsHalfWhenEmpty)
{
    auto items = dropPhotographs(2);
    develop(*items[0], {.looks = false});
    auto view = shownLightbox(items[0]);
    EXPECT_EQ(view->colourRow(), nullptr);
    const int rowWidth = view->adjustmentRow()->width();
    EXPECT_NEAR(view->lightRow()->width(), (rowWidth - 56) / 2.0, 1) << "the light column does not widen";

    // Another picture of the batch carries looks, but this one does not: still no colour row.
    develop(*items[1]);
    settle();
    EXPECT_EQ(view->colourRow(), nullptr);
    view->setItem(items[1]);
    settle();
    ASSERT_NE(view->colourRow(), nullptr);
    // The two tracks lie on one line.
    EXPECT_EQ(view->lightRow()->track()->mapTo(view.get(), QPoint()).y(),
              view->colourRow()->trackRow()->track()->mapTo(view.get(), QPoint()).y());
}

TEST_F(LightboxTest, NoteIsCutAtTwoLinesAndTakesNoLineWithoutOne)
{
    auto item = dropPhotographs(1).front();
    develop(*item);
    auto view = shownLightbox(item);
    EXPECT_FALSE(view->noteLine()->isVisibleTo(view.get()));
    const int fullHeight = view->pictureArea()->height();

    item->setNote("exported to ~/exports/IMG_0410-oxel.psd\nsecond line\nthird line\nfourth line");
    settle();
    ASSERT_TRUE(view->noteLine()->isVisibleTo(view.get()));
    TextLabel twoLines("one\ntwo", uiFont(11), Palette::pencil());
    twoLines.setWrapping(2);
    EXPECT_EQ(view->noteLine()->height(), twoLines.heightForWidth(1000)) << "no more than two lines";
    EXPECT_LT(view->pictureArea()->height(), fullHeight);
}

TEST_F(LightboxTest, DoubleClicksOnThePictureOrBackdropCloseIt)
{
    auto items = dropPhotographs(1);
    develop(*items[0]);
    auto view = shownLightbox(items[0]);
    QTest::mouseDClick(view->infoLine(), Qt::LeftButton, {}, middleOf(*view->infoLine()));
    EXPECT_EQ(model->lightbox(), items[0]) << "a double click on a text is not one on the backdrop";
    QTest::mouseDClick(view->pictureArea(), Qt::LeftButton, {}, middleOf(*view->pictureArea()));
    EXPECT_EQ(model->lightbox(), nullptr);

    model->setLightbox(items[0]);
    QTest::mouseDClick(view.get(), Qt::LeftButton, {}, QPoint(5, 400));
    EXPECT_EQ(model->lightbox(), nullptr);

    model->setLightbox(items[0]);
    QTest::mouseClick(view->closeButton(), Qt::LeftButton);
    EXPECT_EQ(model->lightbox(), nullptr);
}

TEST_F(LightboxTest, Screenshots)
{
    auto items = dropPhotographs(3);
    develop(*items[0]);
    items[0]->setColourOffset(-0.25);
    items[0]->setColourTouched(true);
    items[0]->setNote("exported to ~/exports/IMG_0410-oxel.psd");
    {
        auto view = shownLightbox(items[0]);
        const auto shots = screenshots::capture(*view, "lightbox-developed");
        EXPECT_TRUE(pixels::pixelIs(shots.light, 2, 2, pixels::over(pixels::paper(), pixels::paper(), 0.97), 3));
        auto comparing = shownLightbox(items[0], true);
        screenshots::capture(*comparing, "lightbox-comparing");
        view->resize(900, 620);
        settle();
        screenshots::capture(*view, "lightbox-developed-900x620");
    }
    {
        auto view = shownLightbox(items[1]);
        screenshots::capture(*view, "lightbox-not-developed");
    }
    develop(*items[2], {.colourOnly = true});
    auto view = shownLightbox(items[2]);
    screenshots::capture(*view, "lightbox-colour-only");
}
