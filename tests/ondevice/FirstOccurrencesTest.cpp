#include "ondevice/FirstOccurrences.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

using Positions = std::map<std::string, size_t>;

TEST(FirstOccurrences, FindsEachWordsFirstSubstring)
{
    EXPECT_EQ(firstOccurrences("a terrace by the race", {"race", "terrace", "by"}),
              (Positions{{"race", 5}, {"terrace", 2}, {"by", 10}}));
    // Words inside words, overlapping, repeated and missing.
    EXPECT_EQ(firstOccurrences("she sells seashells", {"he", "she", "hers", "shells", "sea", "s", "she"}),
              (Positions{{"he", 1}, {"she", 0}, {"shells", 13}, {"sea", 10}, {"s", 0}}));
    EXPECT_EQ(firstOccurrences("", {"a"}), Positions{});
    EXPECT_EQ(firstOccurrences("abc", {}), Positions{});
    EXPECT_EQ(firstOccurrences("abc", {""}), Positions{});
    EXPECT_EQ(firstOccurrences("caf\xC3\xA9 \xC3\xA9t\xC3\xA9", {"\xC3\xA9t\xC3\xA9"}),
              (Positions{{"\xC3\xA9t\xC3\xA9", 6}}));
}

TEST(FirstOccurrences, AgreesWithAPlainSearchOnManyNestedWords)
{
    std::string text;
    std::vector<std::string> words;
    for (int i = 0; i < 300; ++i) {
        words.push_back(std::string(size_t(i % 40 + 1), 'a') + std::to_string(i % 7));
        text += words.back() + " ";
    }
    text += std::string(2000, 'a');
    words.push_back(std::string(1500, 'a'));
    const Positions found = firstOccurrences(text, words);
    for (const std::string& word : words) {
        const size_t expected = text.find(word);
        ASSERT_NE(expected, std::string::npos);
        EXPECT_EQ(found.at(word), expected) << word.size();
    }
}

} // namespace
} // namespace oxel
