#include "backend/AuthTokens.h"
#include "backend/AuthCallbackURL.h"

#include <gtest/gtest.h>
#include <set>

namespace oxel {
namespace {

TEST(AuthTokens, RandomTokensHaveTheirLengthsAndAreUrlSafe)
{
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const auto state = randomToken(24);
        const auto verifier = randomToken(64);
        ASSERT_TRUE(state && verifier);
        EXPECT_EQ(state->size(), 32u);
        EXPECT_EQ(verifier->size(), 86u);
        EXPECT_EQ(verifier->find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
                  std::string::npos);
        seen.insert(*state);
    }
    EXPECT_EQ(seen.size(), 50u);
}

TEST(AuthTokens, CodeChallengeIsTheS256OfTheVerifier)
{
    // The worked example of the PKCE standard (RFC 7636, appendix B).
    EXPECT_EQ(codeChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    EXPECT_EQ(base64Url("\xfb\xff"), "-_8");
}

TEST(AuthCallbackURL, ReadsQueryItemsPercentDecodedInOrder)
{
    const auto url =
        AuthCallbackURL::parse("OXEL:/auth/apple?state=a%2Bb&id_token=x.y&flag&state=second&e=%C3%A9+x#frag");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme, "oxel");
    ASSERT_TRUE(url->queryItems);
    EXPECT_EQ(*url->queryItems,
              (std::vector<QueryItem>{
                  {"state", "a+b"}, {"id_token", "x.y"}, {"flag", std::nullopt}, {"state", "second"}, {"e", "é+x"}}));
    EXPECT_EQ(url->firstItem("state")->value, "a+b");
    EXPECT_EQ(url->firstItem("code"), nullptr);
}

TEST(AuthCallbackURL, TellsANoQueryFromAnEmptyOne)
{
    EXPECT_FALSE(AuthCallbackURL::parse("oxel:/auth")->queryItems);
    EXPECT_TRUE(AuthCallbackURL::parse("oxel:/auth?")->queryItems->empty());
    EXPECT_TRUE(AuthCallbackURL::parse("oxel:/auth?#x")->queryItems->empty());
    EXPECT_FALSE(AuthCallbackURL::parse("oxel:/auth#x?state=s&id_token=t")->queryItems)
        << "items in the fragment are no query";
}

TEST(AuthCallbackURL, RefusesWhatIsNotAURL)
{
    for (const char* text :
         {"", "no scheme", "/auth?state=1", "1oxel:/a", "ox el:/a", "oxel:/a?state=a b", "oxel:/a?state=%zz",
          "oxel:/a?state=%4", "oxel:/a?x=<script>", "oxel:/a?x=\"q\"", "oxel:/a?x=\n", "oxel:/a?x=\xc3\xa9"})
        EXPECT_FALSE(AuthCallbackURL::parse(text)) << text;
    const auto notUtf8 = AuthCallbackURL::parse("oxel:/a?state=%ff");
    ASSERT_TRUE(notUtf8);
    EXPECT_EQ(notUtf8->firstItem("state")->value, std::nullopt) << "an escape that decodes to no text is no value";
}

} // namespace
} // namespace oxel
