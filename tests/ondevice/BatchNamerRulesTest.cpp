#include "ondevice/BatchNamer.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace oxel {
namespace {

using BatchNamer::heuristicName;

// Words split at spaces; the listed ones are nouns, as a tagger would read these sentences.
class ScriptedTagger : public NounTagger {
public:
    std::vector<TaggedWord> words(std::string_view text) const override
    {
        std::vector<TaggedWord> tagged;
        std::istringstream stream{std::string(text)};
        for (std::string word; stream >> word;) tagged.push_back({word, nouns.count(word) > 0});
        return tagged;
    }
    bool knowsAsNoun(std::string_view word) const override { return nouns.count(std::string(word)) > 0; }

    std::set<std::string> nouns = {"bride",    "groom",   "church", "steps", "guests", "table",   "cake",    "stand",
                                   "terrace",  "spring",  "dogs",   "dog",   "beach",  "snow",    "bench",   "tree",
                                   "portrait", "light",   "close",  "view",  "woman",  "girl",    "hat",     "man",
                                   "window",   "doorway", "ox",     "eyes",  "face",   "candles", "balloons"};
};

std::optional<std::string> named(const std::vector<std::string>& descriptions,
                                 const std::optional<std::string>& place = std::nullopt,
                                 std::vector<std::string> intents = {})
{
    static const ScriptedTagger tagger;
    if (intents.empty()) intents.assign(descriptions.size(), "");
    return heuristicName(descriptions, intents, place, tagger);
}

TEST(BatchNamerRules, AnOccasionInAThirdOfTheDescriptionsNamesTheBatch)
{
    EXPECT_EQ(named({"a bride and groom on church steps", "guests at a table", "a cake on a stand"}, "york"),
              "wedding · york");
    // 1 x 3 < 4: the nouns decide.
    EXPECT_EQ(named({"a birthday cake on a table", "a cake with candles", "a cake and balloons", "a table"}), "cakes");
    // Keywords are substrings: a terrace holds a race.
    EXPECT_EQ(named({"a terrace in spring"}, "leeds"), "race · leeds");
    // Earlier occasions win; only descriptions count, not intents.
    EXPECT_EQ(named({"a band on stage at a wedding"}), "wedding");
    EXPECT_EQ(named({"a dog", "a dog"}, std::nullopt, {"wedding", "wedding"}), "dogs");
    // Upper case counts.
    EXPECT_EQ(named({"The BRIDE"}), "wedding");
}

TEST(BatchNamerRules, ASharedSubjectNamesTheBatchInThePluralUnlessOnePicture)
{
    EXPECT_EQ(named({"two dogs on a beach", "a dog running"}), "dogs");
    EXPECT_EQ(named({"a dog in the snow"}), "dog");
    EXPECT_EQ(named({"a dog in the snow"}, "whitby"), "dog · whitby");
    // A tie goes to the noun met first in the joined text, not the alphabetically first.
    EXPECT_EQ(named({"a bench", "a tree"}), "benches");
    EXPECT_EQ(named({"a tree", "a bench"}), "trees");
    // The intents add to the tally after the descriptions.
    EXPECT_EQ(named({"a beach", "a tree"}, std::nullopt, {"a dog", "a dog"}), "dogs");
}

TEST(BatchNamerRules, PeopleMakePortraits)
{
    // P = 6 > 2 x 2.
    EXPECT_EQ(named({"a woman with a hat", "a girl with a hat"}), "portraits");
    // P = 9 >= 3, c = 1.
    EXPECT_EQ(named({"a woman by a window", "a man in a doorway", "a woman laughing"}, "bath"), "portraits · bath");
    // Fewer people than pictures and a subject too weak to name: still portraits.
    EXPECT_EQ(named({"a woman and a tree", "a view", "a close view", "a portrait"}), "portraits");
    // People outweighed by a subject: the subject.
    EXPECT_EQ(named({"a woman", "a hat", "a tree", "a bench"}), "hats");
}

TEST(BatchNamerRules, GenericAndShortNounsNeverNameABatch)
{
    EXPECT_EQ(named({"a portrait in soft light", "a close view"}, "leeds"), "leeds");
    EXPECT_EQ(named({"a portrait in soft light", "a close view"}), std::nullopt);
    EXPECT_EQ(named({"an ox with eyes and a face"}), std::nullopt);
    EXPECT_EQ(named({}, "leeds"), "leeds");
    EXPECT_EQ(named({}), std::nullopt);
}

TEST(BatchNamerRules, AnEmptyPlaceAddsNothing)
{
    EXPECT_EQ(BatchNamer::withPlace("dogs", std::string()), "dogs");
    EXPECT_EQ(BatchNamer::withPlace("dogs", std::nullopt), "dogs");
    EXPECT_EQ(BatchNamer::withPlace("dogs", "london"), "dogs · london");
}

TEST(BatchNamerRules, SingularAndPluralFollowTheirRules)
{
    const std::vector<std::pair<std::string, std::string>> singulars = {
        {"puppies", "puppy"}, {"pies", "pie"}, {"buses", "bus"},   {"boxes", "box"},     {"benches", "bench"},
        {"dishes", "dish"},   {"dogs", "dog"}, {"glass", "glass"}, {"cactus", "cactus"}, {"iris", "iris"},
        {"lens", "lens"},     {"bus", "bus"},  {"cats", "cat"},    {"tree", "tree"},     {"ies", "ies"}};
    for (const auto& [word, expected] : singulars) EXPECT_EQ(BatchNamer::singular(word), expected) << word;

    const std::vector<std::pair<std::string, std::string>> plurals = {
        {"dogs", "dogs"}, {"puppy", "puppies"}, {"day", "days"}, {"bench", "benches"}, {"dish", "dishes"},
        {"box", "boxes"}, {"tree", "trees"},    {"y", "ys"},     {"café", "cafés"}};
    for (const auto& [word, expected] : plurals) EXPECT_EQ(BatchNamer::plural(word), expected) << word;
}

TEST(BatchNamerRules, BestNounBreaksTiesByFirstPosition)
{
    EXPECT_EQ(BatchNamer::bestNoun({{"tree", 3}, {"bench", 3}}, {{"tree", 2}, {"bench", 9}}), "tree");
    EXPECT_EQ(BatchNamer::bestNoun({{"tree", 3}, {"bench", 4}}, {{"tree", 2}, {"bench", 9}}), "bench");
    // A noun missing from the joined text counts as last.
    EXPECT_EQ(BatchNamer::bestNoun({{"tree", 3}, {"bench", 3}}, {{"bench", 40}}), "bench");
    EXPECT_EQ(BatchNamer::bestNoun({}, {}), std::nullopt);
}

TEST(BatchNamerRules, LowerCasesByUnicodeAndRepairsBrokenText)
{
    EXPECT_EQ(BatchNamer::lowerCased("ÉGLISE Ünd İSTANBUL"), "église ünd i̇stanbul");
    EXPECT_EQ(BatchNamer::lowerCased("A\xff"
                                     "B"),
              "a\xEF\xBF\xBD"
              "b");
}

} // namespace
} // namespace oxel
