// The announcement as it reaches the overlay from the model's JSON: only text stays text.
#include "ui/screens/AppRootSource.h"
#include "ui/kit/TextLabel.h"
#include "ui/screens/AnnouncementView.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

TEST(AppRootSourceTest, AnnouncementKeepsTextAsTextAndNothingElse)
{
    const Json json = Json::parse(R"({"id": "n7", "title": 12, "body": "b", "linkURL": ["https://example.org"],
                                      "linkLabel": "more", "flag": true, "none": null})");
    const QVariantMap message = AppRootSource::messageOf(json);
    EXPECT_EQ(AnnouncementView::textOf(message, "id"), "n7");
    EXPECT_EQ(AnnouncementView::textOf(message, "body"), "b");
    for (const char* key : {"title", "linkURL", "flag", "none"})
        EXPECT_TRUE(AnnouncementView::textOf(message, key).isEmpty()) << key;
    EXPECT_EQ(AnnouncementView::linkOf(message), std::nullopt);

    const AnnouncementView view(message);
    EXPECT_TRUE(view.title()->text().isEmpty());
    EXPECT_EQ(view.link(), nullptr);

    EXPECT_TRUE(AppRootSource::messageOf(Json::parse(R"(["title"])")).isEmpty());
    EXPECT_TRUE(AppRootSource::messageOf(Json::parse(R"("title")")).isEmpty());
}

} // namespace
} // namespace oxel
