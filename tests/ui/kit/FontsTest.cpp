#include "ui/kit/Fonts.h"
#include "support/ui/Screenshots.h"
#include "ui/kit/Text.h"
#include "ui/kit/Wordmark.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace oxel {
namespace {

TEST(Fonts, InterResolvesInEachWeightAtPixelSizes)
{
    const std::pair<FontWeight, int> weights[] = {
        {FontWeight::light, 300}, {FontWeight::regular, 400}, {FontWeight::medium, 500}};
    for (const auto& [weight, expected] : weights) {
        const QFont font = uiFont(13, weight);
        const QFontInfo info(font);
        EXPECT_EQ(info.family(), QStringLiteral("Inter"));
        EXPECT_EQ(info.weight(), expected);
        EXPECT_EQ(info.pixelSize(), 13);
    }
}

TEST(Fonts, WithoutTheFilesTheInstalledFamilyIsTaken)
{
    EXPECT_EQ(installInterfaceFonts("/nonexistent/fonts"), QStringLiteral("Inter"));
    EXPECT_EQ(QFontInfo(uiFont(13, FontWeight::medium)).styleName(), QStringLiteral("Medium"));
}

TEST(Text, ValuesPrintWithTwoDecimals)
{
    EXPECT_EQ(formatValue(0.5), QStringLiteral("0.50"));
    EXPECT_EQ(formatValue(1), QStringLiteral("1.00"));
    EXPECT_EQ(formatValue(0.125), QStringLiteral("0.12"));
}

TEST(Text, TabularDigitsShareOneWidth)
{
    const QFont font = uiFont(13);
    EXPECT_DOUBLE_EQ(tabularWidth("0.11", font), tabularWidth("0.88", font));
    EXPECT_DOUBLE_EQ(tabularWidth("1111", font), tabularWidth("4040", font));
    // Inter's own figures are proportional, so the cells are what makes them line up.
    const QFontMetricsF metrics(font);
    EXPECT_NE(metrics.horizontalAdvance("1111"), metrics.horizontalAdvance("4040"));
}

TEST(Text, LongTextsAreCutAtTheTail)
{
    const QFont font = uiFont(13);
    const QString cut = elidedTail("a long name of a batch of photographs", font, 80);
    EXPECT_TRUE(cut.endsWith(QChar(0x2026)));
    EXPECT_LE(QFontMetricsF(font).horizontalAdvance(cut), 80);
    EXPECT_EQ(elidedTail("short", font, 200), QStringLiteral("short"));
}

TEST(Text, WrappedNotesAreClampedToTheirLines)
{
    const QFont font = uiFont(12);
    const QString note = "the backend could not finish this picture because the service was busy; try again in a "
                         "minute or two, and it will be picked up where it stopped";
    const QStringList all = wrappedLines(note, font, 150);
    ASSERT_GT(all.size(), 3);
    const QStringList two = wrappedLines(note, font, 150, 2);
    ASSERT_EQ(two.size(), 2);
    EXPECT_EQ(two[0], all[0]);
    EXPECT_TRUE(two[1].endsWith(QChar(0x2026)));
    EXPECT_EQ(wrappedLines("one line", font, 150, 3), QStringList{"one line"});
    EXPECT_EQ(wrappedLines("first\nsecond", font, 150, 3), (QStringList{"first", "second"}));
    EXPECT_TRUE(wrappedLines("", font, 150, 2).size() <= 1);
}

TEST(Wordmark, ReadsOxelAndItsQualifier)
{
    Wordmark withQualifier(QStringLiteral("pro"), 26);
    Wordmark alone(std::nullopt, 26);
    EXPECT_EQ(withQualifier.text(), QStringLiteral("oxel pro"));
    EXPECT_EQ(alone.text(), QStringLiteral("oxel"));
    EXPECT_GT(withQualifier.sizeHint().width(), alone.sizeHint().width());
    withQualifier.resize(withQualifier.sizeHint());
    alone.resize(alone.sizeHint());
    Wordmark topBar(QStringLiteral("pro"), 15);
    topBar.resize(topBar.sizeHint());
    screenshots::capture(withQualifier, "wordmark-26");
    screenshots::capture(alone, "wordmark-26-alone");
    screenshots::capture(topBar, "wordmark-15");
}

} // namespace
} // namespace oxel
