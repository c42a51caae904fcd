#include "ui/kit/AreaScale.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

namespace oxel {
namespace {

// A photograph's kind of content: smooth ramps with fine detail over them, in every channel.
QImage patterned(int width, int height, QImage::Format format)
{
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(
                x, y, QColor((x * 255) / width, (y * 255) / height, ((x * 7 + y * 13) % 64) * 3 + (x ^ y) % 32));
    return image;
}

int largestDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            largest = std::max(
                {largest, std::abs(p.red() - q.red()), std::abs(p.green() - q.green()), std::abs(p.blue() - q.blue())});
        }
    return largest;
}

} // namespace

TEST(AreaScale, ShrinksAsQtsSmoothScalingDoesWithinTwoLevels)
{
    // A tile's thumbnail, a preview into a tile, odd ratios both ways and a row of one pixel.
    for (const auto& [from, to] :
         {std::pair{QSize(360, 240), QSize(228, 152)}, std::pair{QSize(1878, 1252), QSize(228, 152)},
          std::pair{QSize(301, 199), QSize(97, 61)}, std::pair{QSize(500, 40), QSize(7, 1)}}) {
        for (const QImage::Format format : {QImage::Format_RGBX8888, QImage::Format_RGB32, QImage::Format_RGB888}) {
            SCOPED_TRACE(testing::Message() << from.width() << " x " << from.height() << " format " << format);
            const QImage source = patterned(from.width(), from.height(), format);
            const QImage ours = areaScaled(source, to);
            ASSERT_EQ(ours.size(), to);
            EXPECT_EQ(ours.format(), format);
            // Qt's own scaling of three-byte pixels strays by tens of levels at some sizes; the
            // same picture at four bytes is the reference.
            const QImage reference = source.convertToFormat(QImage::Format_RGB32)
                                         .scaled(to, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            EXPECT_LE(largestDifference(ours, reference), 2);
        }
    }
}

TEST(AreaScale, KeepsASingleColourExactlyAndLeavesEnlargingToQt)
{
    for (const QImage::Format format : {QImage::Format_RGBX8888, QImage::Format_RGB888}) {
        QImage flat(333, 222, format);
        flat.fill(QColor(1, 128, 255));
        const QImage shrunk = areaScaled(flat, {100, 67});
        for (int y = 0; y < shrunk.height(); ++y)
            for (int x = 0; x < shrunk.width(); ++x) ASSERT_EQ(shrunk.pixelColor(x, y), QColor(1, 128, 255)) << format;
    }

    // Wider than the source, or a format whose alpha is not premultiplied: Qt's own scaling.
    const QImage source = patterned(40, 30, QImage::Format_RGBX8888);
    EXPECT_EQ(areaScaled(source, {80, 20}), source.scaled(80, 20, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    const QImage straight = patterned(40, 30, QImage::Format_RGBA8888);
    EXPECT_EQ(areaScaled(straight, {20, 15}), straight.scaled(20, 15, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    EXPECT_TRUE(areaScaled(source, {0, 10}).isNull());
    EXPECT_EQ(areaScaled(source, source.size()), source);
}

} // namespace oxel
