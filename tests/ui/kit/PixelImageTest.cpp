#include "ui/kit/PixelImage.h"
#include "develop/colour/ColourTransform.h"
#include "imaging/PictureCache.h"
#include "support/ui/PixelChecks.h"
#include "ui/kit/DisplayPicture.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>

namespace oxel {
namespace {

using pixels::paper;
using pixels::pixelIs;

Bitmap solid(int width, int height, QColor colour, ColourSpace space = ColourSpace::sRGB(),
             PixelFormat format = PixelFormat::RGBX8)
{
    auto bitmap = Bitmap::allocate(width, height, format, std::move(space));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = bitmap->mutableRow(y) + x * 4;
            pixel[0] = uint8_t(colour.red()), pixel[1] = uint8_t(colour.green()), pixel[2] = uint8_t(colour.blue());
            pixel[3] = 255;
        }
    return *bitmap;
}

// Counts the paints a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST(PixelImage, FittedRectKeepsProportionsAndCentres)
{
    EXPECT_EQ(PixelImage::fittedRect({100, 50}, {300, 300}), QRectF(0, 75, 300, 150));
    EXPECT_EQ(PixelImage::fittedRect({50, 100}, {300, 300}), QRectF(75, 0, 150, 300));
    EXPECT_EQ(PixelImage::fittedRect({10, 10}, {40, 20}), QRectF(10, 0, 20, 20));
    EXPECT_TRUE(PixelImage::fittedRect({0, 0}, {300, 300}).isEmpty());
    EXPECT_TRUE(PixelImage::fittedRect({100, 0}, {300, 300}).isEmpty());
    EXPECT_TRUE(PixelImage::fittedRect({100, 50}, {0, 300}).isEmpty());
    EXPECT_TRUE(PixelImage::fittedRect({100, 50}, {300, -1}).isEmpty());
}

TEST(PixelImage, WideSRGBPictureFillsTheWidthFromItsBand)
{
    PixelImage view;
    view.resize(300, 300);
    const Bitmap picture = solid(100, 50, QColor(200, 40, 40));
    view.setPicture(picture);
    EXPECT_EQ(view.displayed().constBits(), picture.data()); // wrapped, not copied
    const QImage image = pixels::grabbed(view);
    for (const int x : {0, 150, 299}) {
        EXPECT_TRUE(pixelIs(image, x, 74, paper(), 0)) << x;
        EXPECT_TRUE(pixelIs(image, x, 75, QColor(200, 40, 40), 0)) << x;
        EXPECT_TRUE(pixelIs(image, x, 224, QColor(200, 40, 40), 0)) << x;
        EXPECT_TRUE(pixelIs(image, x, 225, paper(), 0)) << x;
    }
}

TEST(PixelImage, EmptyPicturesAndViewsDrawNothing)
{
    PixelImage view;
    view.resize(40, 40);
    view.setPicture(Bitmap::wrap(0, 10, PixelFormat::RGBX8, 0,
                                 std::shared_ptr<uint8_t>(new uint8_t[4](), std::default_delete<uint8_t[]>())));
    EXPECT_TRUE(pixelIs(pixels::grabbed(view), 20, 20, paper(), 0));
    view.setPicture(solid(10, 10, Qt::black));
    view.resize(0, 0);
    view.repaint();
    view.resize(40, 0);
    view.repaint();
    view.setPicture(Bitmap());
    view.resize(40, 40);
    EXPECT_TRUE(pixelIs(pixels::grabbed(view), 20, 20, paper(), 0));
}

TEST(PixelImage, FlippingBetweenTwoPicturesKeepsBothScaled)
{
    PixelImage view;
    view.resize(120, 80);
    const Bitmap result = solid(60, 40, QColor(10, 120, 200));
    const Bitmap original = solid(60, 40, QColor(200, 120, 10));
    view.setPicture(result);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.repaint();
    view.setPicture(original);
    view.repaint();
    // Back to the first: shown at once, its scaled copy kept from before.
    view.setPicture(result);
    EXPECT_TRUE(view.holdsScaled());
    EXPECT_EQ(view.displayed().pixelColor(0, 0), QColor(10, 120, 200));
    view.setPicture(original);
    EXPECT_TRUE(view.holdsScaled());
    EXPECT_EQ(view.displayed().pixelColor(0, 0), QColor(200, 120, 10));
    view.releaseScaled();
    EXPECT_FALSE(view.holdsScaled());
    view.repaint();
    EXPECT_TRUE(view.holdsScaled());
}

TEST(PixelImage, SamePicturesAgainDoNotRepaint)
{
    PixelImage view;
    view.resize(120, 80);
    const Bitmap picture = solid(60, 40, QColor(10, 120, 200));
    view.setPicture(picture);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QApplication::processEvents();
    PaintCounter counter(view);
    const Bitmap copy = picture;
    view.setPicture(copy);
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 0);
    view.setPicture(solid(60, 40, QColor(10, 120, 200)));
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);
    view.setPicture(Bitmap());
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 2);
}

TEST(PixelImage, DisplayP3PictureShowsTheTransformsSRGBValues)
{
    const Bitmap picture = solid(64, 48, QColor(180, 120, 60), ColourSpace::displayP3());
    const auto expected = matchColours(picture, ColourSpace::displayP3(), ColourSpace::sRGB(), false);
    ASSERT_TRUE(expected);
    const QColor target(expected->row(0)[0], expected->row(0)[1], expected->row(0)[2]);
    ASSERT_NE(target, QColor(180, 120, 60));

    PixelImage view;
    view.resize(64, 48);
    QSignalSpy shown(&view, &PixelImage::pictureShown);
    view.setPicture(picture);
    EXPECT_TRUE(view.displayed().isNull()); // converted off the main thread
    ASSERT_TRUE(shown.wait(5000));
    EXPECT_TRUE(pixelIs(pixels::grabbed(view), 32, 24, target, 2));
}

TEST(PixelImage, EveryHandOverIsAnnouncedOnceItsPictureIsShown)
{
    const Bitmap wide = solid(64, 48, QColor(180, 120, 60), ColourSpace::displayP3());
    const Bitmap plain = solid(64, 48, QColor(20, 40, 60));
    PixelImage view;
    view.resize(64, 48);
    QSignalSpy shown(&view, &PixelImage::pictureShown);
    view.setPicture(wide);
    view.setPicture(wide); // while it converts
    EXPECT_EQ(shown.count(), 0);
    ASSERT_TRUE(shown.wait(5000));
    QApplication::processEvents();
    EXPECT_EQ(shown.count(), 1) << "one conversion, one announcement";

    view.setPicture(wide); // already shown: nothing to convert
    EXPECT_EQ(shown.count(), 2);
    view.setPicture(plain); // sRGB, shown as it is
    EXPECT_EQ(shown.count(), 3);
    view.setPicture(wide); // the previous picture, kept converted
    EXPECT_EQ(shown.count(), 4);
    EXPECT_FALSE(view.displayed().isNull());
    view.setPicture(Bitmap());
    EXPECT_EQ(shown.count(), 5);
}

// Shows the handle's picture in the view at this size, and waits until it was made off the main thread.
bool shownOffMainThread(PixelImage& view, QSignalSpy& shown, const PictureHandle& handle, QSize size)
{
    view.resize(size);
    view.setPicture(handle);
    view.show();
    return QTest::qWaitForWindowExposed(&view) && (shown.count() > 0 || shown.wait(5000));
}

// A handle's picture stays in the shared cache: the view keeps only its scaled copy, made at once
// from a held sRGB picture, else off the main thread, and made again once let go.
TEST(PixelImage, HandedOverPicturesLeaveThePixelsToTheCache)
{
    std::atomic<int> made = 0;
    const PictureHandle handle(PictureRecipe{60, 40, [&made] {
                                                 ++made;
                                                 return std::optional(solid(60, 40, QColor(10, 120, 200)));
                                             }});
    PixelImage view;
    QSignalSpy shown(&view, &PixelImage::pictureShown);
    ASSERT_TRUE(shownOffMainThread(view, shown, handle, {120, 80}));
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(view.picture().isNull());
    EXPECT_TRUE(view.displayed().isNull());
    EXPECT_EQ(view.pictureSize(), QSize(60, 40));
    EXPECT_TRUE(pixelIs(pixels::grabbed(view), 60, 40, QColor(10, 120, 200), 1));

    // Held by the cache now: a new size is scaled on the main thread, from the cache's pixels.
    view.resize(90, 60);
    view.repaint();
    EXPECT_TRUE(view.holdsScaled());
    EXPECT_EQ(made, 1);

    // Let go by the cache and by the view: made again each time it is next shown, at the size it
    // was last made off the main thread too.
    for (int time = 2; time <= 3; ++time) {
        PictureCache::shared().forget(handle.key());
        view.releaseScaled();
        view.repaint();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.holdsScaled(); }, 5000)) << time;
        EXPECT_EQ(made, time);
    }
    EXPECT_TRUE(pixelIs(pixels::grabbed(view), 45, 30, QColor(10, 120, 200), 1));

    // Only for a view in sight when its turn on the pool comes: a scroll past hundreds of tiles
    // leaves no work behind it. One passed over is made once the view is back in sight.
    PictureCache::shared().forget(handle.key());
    view.releaseScaled();
    view.setInSight(false);
    view.repaint();
    QTest::qWait(300);
    EXPECT_FALSE(view.holdsScaled());
    EXPECT_EQ(made, 3) << "out of sight";
    view.setInSight(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.holdsScaled(); }, 5000));
    EXPECT_EQ(made, 4);
}

TEST(PixelImage, DisplayP3HandleIsShrunkThenConverted)
{
    const Bitmap picture = solid(64, 48, QColor(180, 120, 60), ColourSpace::displayP3());
    const auto expected = matchColours(picture, ColourSpace::displayP3(), ColourSpace::sRGB(), false);
    ASSERT_TRUE(expected);
    const QColor target(expected->row(0)[0], expected->row(0)[1], expected->row(0)[2]);
    const PictureHandle handle = PictureHandle::seeded(picture, {64, 48, [picture] { return std::optional(picture); }});

    PixelImage view;
    QSignalSpy shown(&view, &PixelImage::pictureShown);
    ASSERT_TRUE(shownOffMainThread(view, shown, handle, {32, 24}));
    EXPECT_TRUE(pixelIs(pixels::grabbed(view), 16, 12, target, 2));
}

TEST(DisplayPicture, OnlyEightBitSRGBIsWrapped)
{
    EXPECT_TRUE(isDisplayReady(solid(2, 2, Qt::red)));
    EXPECT_TRUE(isDisplayReady(solid(2, 2, Qt::red, ColourSpace::sRGB(), PixelFormat::RGBA8)));
    EXPECT_TRUE(isDisplayReady(solid(2, 2, Qt::red, ColourSpace())));
    EXPECT_FALSE(isDisplayReady(solid(2, 2, Qt::red, ColourSpace::displayP3())));
    EXPECT_FALSE(isDisplayReady(*Bitmap::allocate(2, 2, PixelFormat::RGBX16, ColourSpace::sRGB())));
    EXPECT_FALSE(wrappedForDisplay(solid(2, 2, Qt::red, ColourSpace::displayP3())));
    EXPECT_FALSE(wrappedForDisplay(Bitmap()));
    EXPECT_FALSE(convertedForDisplay(Bitmap()));
}

TEST(DisplayPicture, PackedRGBIsWrappedAsItIs)
{
    // Thumbnails are packed three bytes a pixel; an odd width leaves rows unaligned.
    auto bitmap = Bitmap::allocate(3, 2, PixelFormat::RGB8, ColourSpace::sRGB());
    uint8_t* last = bitmap->mutableRow(1) + 2 * 3;
    last[0] = 10, last[1] = 20, last[2] = 30;
    ASSERT_TRUE(isDisplayReady(*bitmap));
    const auto image = wrappedForDisplay(*bitmap);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->constBits(), bitmap->data());
    EXPECT_EQ(image->pixelColor(2, 1), QColor(10, 20, 30));
    EXPECT_EQ(image->pixelColor(0, 0), QColor(0, 0, 0));
    EXPECT_FALSE(isDisplayReady(bitmap->taggedWith(ColourSpace::displayP3())));
}

TEST(DisplayPicture, WrappedImageKeepsThePixelsAlive)
{
    std::optional<QImage> image;
    {
        const Bitmap picture = solid(4, 4, QColor(1, 2, 3));
        image = wrappedForDisplay(picture);
    }
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelColor(3, 3), QColor(1, 2, 3));
}

TEST(DisplayPicture, SixteenBitSRGBIsNarrowed)
{
    auto bitmap = Bitmap::allocate(2, 1, PixelFormat::RGBX16, ColourSpace::sRGB());
    auto* samples = reinterpret_cast<uint16_t*>(bitmap->mutableData());
    for (int i = 0; i < 8; ++i) samples[i] = uint16_t(257 * 100);
    const auto image = convertedForDisplay(*bitmap);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelColor(1, 0), QColor(100, 100, 100));
}

} // namespace
} // namespace oxel
