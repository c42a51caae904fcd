// Every primitive and control in each of its states, written in both appearances for a reviewer
// to look at (<build>/screenshots/index.html), with a few checks that the pictures are what they
// claim to be.
#include "support/ui/Screenshots.h"
#include "support/ui/PixelChecks.h"
#include "ui/kit/BoxChoice.h"
#include "ui/kit/BoxMultiChoice.h"
#include "ui/kit/BoxSwitch.h"
#include "ui/kit/DrawnCrosshair.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/InkFrame.h"
#include "ui/kit/NudgeEditor.h"
#include "ui/kit/PencilRule.h"
#include "ui/kit/PictureCorners.h"
#include "ui/kit/PixelImage.h"
#include "ui/kit/ProgressDots.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/SheetFrame.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/kit/TextLabel.h"
#include "ui/kit/WorkingSheetCentreLine.h"
#include "ui/window/CompareHint.h"

#include <QApplication>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <functional>

namespace oxel {
namespace {

// A widget that paints with one of the drawing routines.
class Canvas : public QWidget {
public:
    using Paint = std::function<void(QPainter&, QSizeF, Appearance)>;
    Canvas(QSize size, Paint paint) : paint_(std::move(paint)) { resize(size); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        paint_(painter, size(), appearanceOf(*this));
    }

private:
    Paint paint_;
};

// Lays widgets side by side with room around them, as they would stand on a sheet.
class Board : public QWidget {
public:
    explicit Board(QSize size)
    {
        resize(size);
        layout_ = new QHBoxLayout(this);
        layout_->setContentsMargins(16, 16, 16, 16);
        layout_->setSpacing(16);
    }
    template <typename W>
    W* add(W* widget)
    {
        layout_->addWidget(widget, 0, Qt::AlignVCenter);
        return widget;
    }
    void settle()
    {
        layout_->addStretch(1);
        layout_->activate();
        show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
        QApplication::processEvents();
    }

private:
    QHBoxLayout* layout_;
};

QWidget* labelInFrame(const QString& text, InkBox box)
{
    auto* frame = new InkFrame(box);
    frame->setContent(new TextLabel(text, uiFont(13), box.filled ? Palette::onInk() : Palette::ink(0.85)),
                      QMargins(16, 7, 16, 7));
    frame->setFixedSize(120, 34);
    return frame;
}

Bitmap gradient(int width, int height, ColourSpace space)
{
    auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBX8, std::move(space));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = bitmap->mutableRow(y) + x * 4;
            pixel[0] = uint8_t(255 * x / width), pixel[1] = uint8_t(255 * y / height), pixel[2] = 160;
        }
    return *bitmap;
}

TEST(Screenshots, InterIsTheFaceOfEveryText)
{
    EXPECT_EQ(QFontInfo(QApplication::font()).family(), QStringLiteral("Inter"));
    EXPECT_EQ(QFontInfo(uiFont(15, FontWeight::light)).styleName(), QStringLiteral("Light"));
}

TEST(Screenshots, StrokesAndCorners)
{
    Board board({720, 200});
    auto* rule = board.add(new PencilRule);
    rule->setFixedWidth(80);
    board.add(new Canvas({80, 160}, WorkingSheetCentreLine::draw))->setFixedSize(80, 160);
    board.add(new DrawnCrosshair(40, Palette::ink(0.5)));
    board
        .add(new Canvas({140, 100},
                        [](QPainter& painter, QSizeF size, Appearance appearance) {
                            drawTileCorners(painter, size, 0.9, true, appearance);
                        }))
        ->setFixedSize(140, 100);
    board
        .add(new Canvas({140, 100},
                        [](QPainter& painter, QSizeF size, Appearance appearance) {
                            drawTileCorners(painter, size, 0.5, false, appearance);
                        }))
        ->setFixedSize(140, 100);
    board.add(new Canvas({160, 110}, drawLightboxCorners))->setFixedSize(160, 110);
    board.settle();
    const auto shots = screenshots::capture(board, "strokes-and-corners");
    EXPECT_TRUE(pixels::pixelIs(shots.dark, 2, 2, pixels::paper(Appearance::dark), 0));
    EXPECT_TRUE(pixels::pixelIs(shots.light, 2, 2, pixels::paper(Appearance::light), 0));
}

TEST(Screenshots, InkBoxes)
{
    Board board({860, 70});
    board.add(labelInFrame("normal", {false, true, 0.9, false}));
    board.add(labelInFrame("quiet", {false, true, 0.9, true}));
    board.add(labelInFrame("quiet off", {false, false, 0.9, true}));
    board.add(labelInFrame("0.6", {false, true, 0.6, false}));
    board.add(labelInFrame("off", {false, false, 1, false}));
    board.add(labelInFrame("filled", {true, true, 0.9, false}));
    board.settle();
    screenshots::capture(board, "ink-boxes");
}

TEST(Screenshots, SwitchesChoicesAndDots)
{
    Board board({1060, 80});
    board.add(new BoxSwitch(18));
    auto* on = board.add(new BoxSwitch(18));
    on->setOn(true);
    auto* none = board.add(new BoxChoice({"embedded", "srgb"}));
    none->setFixedWidth(170);
    auto* one = board.add(new BoxChoice({"embedded", "srgb"}));
    one->setSelection(1);
    one->setFixedWidth(170);
    auto* many = board.add(new BoxMultiChoice({"jpeg", "png", "tiff"}));
    many->setSelection({0, 2});
    many->setFixedWidth(200);
    board.add(new ProgressDots(1, 0));
    board.add(new ProgressDots(4, -0.001));
    board.add(new ProgressDots(4, 0));
    board.add(new ProgressDots(4, 1.0 / 3));
    board.add(new ProgressDots(4, 1));
    board.settle();
    const auto shots = screenshots::capture(board, "switches-choices-dots");
    const QPoint tick = on->geometry().topLeft() + QPoint(9, 9);
    EXPECT_TRUE(pixels::pixelIs(shots.light, tick.x(), tick.y() - 6, pixels::ink(Appearance::light), 0));
    EXPECT_TRUE(pixels::pixelIs(shots.dark, tick.x(), tick.y() - 6, pixels::ink(Appearance::dark), 0));
}

TEST(Screenshots, Tracks)
{
    auto board = std::make_unique<QWidget>();
    board->resize(300, 120);
    auto* layout = new QVBoxLayout(board.get());
    layout->setContentsMargins(16, 16, 16, 16);
    const auto addTrack = [&](double value, bool enabled, std::vector<double> ticks) {
        auto* track = new StrengthTrack;
        track->setValue(value);
        track->setTrackEnabled(enabled);
        track->setTicks(std::move(ticks));
        layout->addWidget(track);
    };
    addTrack(0.25, true, {});
    addTrack(0.6, true, {0, 0.5, 1});
    addTrack(0.6, false, {0.5});
    addTrack(1.7, true, {});
    board->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(board.get()));
    screenshots::capture(*board, "strength-tracks");
}

TEST(Screenshots, CompareHintAndPictures)
{
    Board board({760, 160});
    auto* hint = board.add(new CompareHint);
    hint->setFixedSize(hint->sizeHint());
    auto* wide = board.add(new PixelImage);
    wide->setFixedSize(180, 120);
    wide->setPicture(gradient(300, 120, ColourSpace::sRGB()));
    auto* tall = board.add(new PixelImage);
    tall->setFixedSize(120, 120);
    tall->setPicture(gradient(60, 120, ColourSpace::sRGB()));
    auto* wider = board.add(new PixelImage);
    wider->setFixedSize(120, 120);
    QSignalSpy converted(wider, &PixelImage::pictureShown);
    wider->setPicture(gradient(120, 90, ColourSpace::displayP3()));
    ASSERT_TRUE(converted.wait(5000));
    board.settle();
    screenshots::capture(board, "compare-hint-and-pictures");
}

TEST(Screenshots, NudgeEditors)
{
    Board board({900, 110});
    auto* empty = board.add(new NudgeEditor("e.g. warmer, like late afternoon", false, 44, 76));
    empty->setFixedWidth(220);
    auto* written = board.add(new NudgeEditor("e.g. warmer", false, 44, 76));
    written->setFixedWidth(220);
    written->setText("soft window light from the left, keep the shadows deep");
    auto* quiet = board.add(new NudgeEditor("", true, 46, 46));
    quiet->setFixedWidth(180);
    quiet->setText("a little cooler");
    auto* full = board.add(new NudgeEditor("", false, 44, 76));
    full->setFixedWidth(180);
    full->setText(QString("more contrast in the sky, ").repeated(8));
    board.settle();
    screenshots::capture(board, "nudge-editors");
    EXPECT_EQ(full->height(), 76);
}

TEST(Screenshots, SheetFrameAndButtons)
{
    auto* body = new QWidget;
    auto* rows = new QVBoxLayout(body);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->addWidget(new TextLabel("2 images · 2 shots", uiFont(13), Palette::ink(0.6)));
    auto* buttons = new QHBoxLayout;
    rows->addLayout(buttons);
    const auto addButton = [&](const char* label, bool filled, bool enabled) {
        auto* button = new SheetButton(label, filled);
        button->setEnabled(enabled);
        buttons->addWidget(button);
    };
    addButton("cancel", false, true);
    addButton("later", false, false);
    addButton("process", true, true);
    addButton("export", true, false);
    SheetFrame frame("process 2 images", body);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    frame.resize(frame.sizeHint());
    QApplication::processEvents();
    EXPECT_GE(frame.width(), SheetFrame::minimumWidth);
    screenshots::capture(frame, "sheet-frame-and-buttons");
}

} // namespace
} // namespace oxel
