#include "ui/kit/TextLabel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Text.h"

#include <QFontMetricsF>
#include <gtest/gtest.h>

#include <cmath>

namespace oxel {
namespace {

TEST(TextLabel, WrappedTextGrowsByWholeLinesUpToItsLimit)
{
    const QFont font = uiFont(12);
    TextLabel note(QString("the original could not be read from the disk it was on; ").repeated(4), font,
                   Palette::ink(0.6));
    note.setWrapping(3, 2);
    const qreal line = QFontMetricsF(font).height();
    EXPECT_EQ(note.heightForWidth(2000), int(std::ceil(line)));
    EXPECT_EQ(note.heightForWidth(160), int(std::ceil(line + 2 * lineAdvance(font, 2))));
    EXPECT_TRUE(note.hasHeightForWidth());
}

TEST(TextLabel, TakesItsTextAsItsName)
{
    TextLabel title("a batch with a rather long name", uiFont(13), Palette::ink(0.9));
    EXPECT_EQ(title.accessibleName(), QStringLiteral("a batch with a rather long name"));
    title.setText("renamed");
    EXPECT_EQ(title.accessibleName(), QStringLiteral("renamed"));
}

} // namespace
} // namespace oxel
