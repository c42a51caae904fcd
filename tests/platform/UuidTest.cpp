#include "platform/Uuid.h"

#include <gtest/gtest.h>

#include <set>

namespace oxel {
namespace {

TEST(Uuid, RandomIdentitiesAreVersionFourAndDistinct)
{
    std::set<Uuid> seen;
    for (int i = 0; i < 1000; ++i) {
        const Uuid uuid = Uuid::random();
        const std::string text = uuid.text();
        EXPECT_EQ(text[14], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(Uuid, WritesUpperCaseAndReadsEitherCase)
{
    const auto upper = Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    const auto lower = Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(upper && lower);
    EXPECT_EQ(*upper, *lower);
    EXPECT_EQ(lower->text(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(Uuid().text(), "00000000-0000-0000-0000-000000000000");
}

TEST(Uuid, RefusesEveryOtherSpelling)
{
    for (const char* text : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
                             "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0", "{621E1F8-C36C-495A-93FC-0C247A3E6E5}",
                             "E621E1F8-C36C-495A-93FC+0C247A3E6E5F", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                             "E621E1F8--36C-495A-93FC-0C247A3E6E5F", " E621E1F8-C36C-495A-93FC-0C247A3E6E5"})
        EXPECT_FALSE(Uuid::parse(text)) << text;
}

} // namespace
} // namespace oxel
