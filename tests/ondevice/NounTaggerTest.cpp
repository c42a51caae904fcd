#include "ondevice/BatchNamer.h"
#include "ondevice/LexiconNounTagger.h"

#include "localbackend/PictureAnalysis.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace oxel {
namespace {

std::vector<std::string> nounsOf(const NounTagger& tagger, std::string_view text)
{
    std::vector<std::string> nouns;
    for (const TaggedWord& word : tagger.words(text))
        if (word.noun) nouns.push_back(word.text);
    return nouns;
}

using Nouns = std::vector<std::string>;

TEST(NounTagger, ReadsTheNounsTheExampleNamesNeed)
{
    const NounTagger& tagger = NounTagger::standard();
    EXPECT_EQ(nounsOf(tagger, "two dogs on a beach"), (Nouns{"dogs", "beach"}));
    EXPECT_EQ(nounsOf(tagger, "a dog running"), (Nouns{"dog"}));
    EXPECT_EQ(nounsOf(tagger, "a cake on a stand"), (Nouns{"cake", "stand"}));
    EXPECT_EQ(nounsOf(tagger, "a woman laughing"), (Nouns{"woman"}));
    EXPECT_EQ(nounsOf(tagger, "a close view"), (Nouns{"close", "view"}));
    const Nouns wedding = nounsOf(tagger, "a bride and groom on church steps");
    for (const char* noun : {"bride", "groom", "steps"})
        EXPECT_NE(std::find(wedding.begin(), wedding.end(), noun), wedding.end()) << noun;
}

TEST(NounTagger, NamesTheExampleBatchesThroughTheRules)
{
    using BatchNamer::heuristicName;
    const std::vector<std::string> two(2, ""), three(3, "");
    EXPECT_EQ(heuristicName({"two dogs on a beach", "a dog running"}, two, std::nullopt), "dogs");
    EXPECT_EQ(heuristicName({"a dog in the snow"}, {""}, std::nullopt), "dog");
    EXPECT_EQ(heuristicName({"a portrait in soft light", "a close view"}, two, "leeds"), "leeds");
    EXPECT_EQ(heuristicName({"a woman by a window", "a man in a doorway", "a woman laughing"}, three, std::nullopt),
              "portraits");
    EXPECT_EQ(heuristicName({"a woman with a hat", "a girl with a hat"}, two, std::nullopt), "portraits");
}

TEST(NounTagger, APossessiveIsAWordOfItsOwn)
{
    using BatchNamer::heuristicName;
    const NounTagger& tagger = NounTagger::standard();
    EXPECT_EQ(nounsOf(tagger, "the dog's bowl"), (Nouns{"dog", "bowl"}));
    EXPECT_EQ(nounsOf(tagger, "a man’s hand"), (Nouns{"man", "hand"}));
    const std::vector<std::string> two(2, "");
    EXPECT_EQ(heuristicName({"a dog's nose", "the dog's ears"}, two, std::nullopt), "dogs");
    EXPECT_EQ(heuristicName({"a man's hand", "a woman's smile"}, two, std::nullopt), "portraits");
}

// The local backend describes pictures in adjectives the tagger data never saw ("colourful",
// "contrasty") and so guesses to be nouns: no batch it describes is named after one made plural.
TEST(NounTagger, NamesNoLocalBackendBatchAfterAnAdjectiveMadePlural)
{
    std::set<std::string> names;
    for (double luma : {0.2, 0.45, 0.7})
        for (double saturation : {0.01, 0.25, 0.5})
            for (double redOverBlue : {0.8, 1.2})
                for (double contrast : {0.1, 0.3}) {
                    const auto analysis = local::analysisJson({luma, contrast, saturation, redOverBlue});
                    const std::vector<std::string> descriptions(2, analysis["descriptions"]["original"]);
                    const std::vector<std::string> intents(2, analysis["perceived_intent"]);
                    names.insert(BatchNamer::heuristicName(descriptions, intents, "aarhus").value_or(""));
                }
    EXPECT_EQ(names, (std::set<std::string>{"aarhus", "colourful · aarhus", "contrasty · aarhus"}));
}

TEST(NounTagger, GivesWordsBetweenBreaksWithoutPunctuation)
{
    const NounTagger& tagger = NounTagger::standard();
    std::vector<std::string> texts;
    for (const TaggedWord& word : tagger.words("A dog, two cats -- and 3 birds! café’s “view”"))
        texts.push_back(word.text);
    EXPECT_EQ(texts, (Nouns{"A", "dog", "two", "cats", "and", "3", "birds", "café", "'s", "view"}));
    EXPECT_TRUE(tagger.words("").empty());
    EXPECT_TRUE(tagger.words(" ... !? ").empty());
}

TEST(NounTagger, ReadsBrokenAndLongTextInOnePass)
{
    const NounTagger& tagger = NounTagger::standard();
    const auto broken = tagger.words("a \xff\xfe dog \xc3");
    ASSERT_GE(broken.size(), 2u);
    EXPECT_EQ(broken[1].text, "dog");

    std::string longText;
    for (int i = 0; i < 20000; ++i) longText += "a dog on a beach ";
    EXPECT_EQ(tagger.words(longText).size(), 100000u);
}

class TaggerData : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() / ("tagger-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        for (const char* name : {"words.yml", "tags.yml", "unknown.yml"})
            std::filesystem::copy_file(std::filesystem::path(TaggerLexicon::systemFolder) / name, folder / name,
                                       std::filesystem::copy_options::overwrite_existing);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    void write(const char* name, const std::string& text) { std::ofstream(folder / name, std::ios::binary) << text; }

    std::filesystem::path folder;
};

TEST_F(TaggerData, ReadsTheSystemData)
{
    const auto lexicon = TaggerLexicon::read(folder);
    ASSERT_TRUE(lexicon);
    EXPECT_GT(lexicon->wordCount(), 40000u);
}

TEST_F(TaggerData, DamagedOrMissingDataReadsAsNone)
{
    write("tags.yml", "--- #YAML:1.0\ncc: { cc: 0.5, nn: x }\n");
    EXPECT_FALSE(TaggerLexicon::read(folder));
    write("tags.yml", "--- #YAML:1.0\ncc: { cc: 0.5 }\n"); // no sentence tag
    EXPECT_FALSE(TaggerLexicon::read(folder));
    write("tags.yml", "pp: { nn: 0.5, det: 0.5 }\ndet: { nn: 1 }\nnn: { nn: 0.1 }\n");
    write("words.yml", "\"dog\": { nn: 10 }\na: { det: 100 }\n");
    write("unknown.yml", "\"-unknown-\": { nn: 1 }\n");
    EXPECT_TRUE(TaggerLexicon::read(folder));
    write("words.yml", "\"dog\": { nn: 10 \n");
    EXPECT_FALSE(TaggerLexicon::read(folder));
    write("words.yml", "\"dog\": { nn: -1 }\n");
    EXPECT_FALSE(TaggerLexicon::read(folder));
    std::filesystem::remove(folder / "unknown.yml");
    EXPECT_FALSE(TaggerLexicon::read(folder));

    // Without data the words still come, none a noun.
    const LexiconNounTagger none(nullptr);
    EXPECT_FALSE(none.isAvailable());
    EXPECT_EQ(none.words("a dog"), (std::vector<TaggedWord>{{"a", false}, {"dog", false}}));
}

TEST_F(TaggerData, TagsGreedilyAfterThePreviousTag)
{
    // "stand" alone reads as a verb; after "a" as a noun.
    write("tags.yml", "pp: { vb: 0.6, det: 0.4 }\ndet: { nn: 0.9, vb: 0.1 }\nvb: { det: 1 }\nnn: { vb: 1 }\n");
    write("words.yml", "stand: { vb: 30, nn: 20 }\na: { det: 100 }\n");
    write("unknown.yml", "\"-unknown-\": { nn: 1 }\n\"-ing-\": { vb: 1 }\n");
    const auto lexicon = TaggerLexicon::read(folder);
    ASSERT_TRUE(lexicon);
    const LexiconNounTagger tagger(std::make_shared<const TaggerLexicon>(*lexicon));
    EXPECT_EQ(tagger.words("stand"), (std::vector<TaggedWord>{{"stand", false}}));
    EXPECT_EQ(tagger.words("a stand"), (std::vector<TaggedWord>{{"a", false}, {"stand", true}}));
    // Unknown words fall into their class.
    EXPECT_EQ(tagger.words("a zorb zorbing"),
              (std::vector<TaggedWord>{{"a", false}, {"zorb", true}, {"zorbing", false}}));
}

} // namespace
} // namespace oxel
