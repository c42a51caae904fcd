#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace oxel {

// The data of a greedy bigram part-of-speech tagger: how often each word was seen with each tag,
// how likely each tag is after another, and the tags of the classes that words missing from the
// lexicon fall into ("-ing-", "-s-", "*NUM*"...). Read from the three YAML files of the system's
// English tagger data, one flow mapping a line:
//     "word": { nn: 10, vb: 2 }
// Immutable once read, so any thread may tag with it.
class TaggerLexicon {
public:
    // Where Debian puts the data.
    static constexpr const char* systemFolder = "/usr/share/perl5/Lingua/EN/Tagger";

    // The lexicon from the texts of words.yml, tags.yml and unknown.yml; nothing when any line is
    // not a mapping of counts or probabilities, or the sentence tag "pp" has no transitions.
    static std::optional<TaggerLexicon> parse(std::string words, std::string_view tags, std::string_view unknown);
    // The lexicon from the three files in `folder`; nothing when one cannot be read or parsed.
    static std::optional<TaggerLexicon> read(const std::string& folder);

    // The tag that follows `previous` for `word` (as it stands in the text): among the tags the
    // lexicon knows for the word, or for its class when it is not in the lexicon, the one with the
    // highest P(tag | previous) x (count + 1). Nothing when no tag fits.
    std::optional<uint8_t> tagAfter(uint8_t previous, std::string_view word) const;

    // Whether the lexicon itself holds the word with a noun tag; its class does not count.
    bool knowsAsNoun(std::string_view word) const;

    // The tag every sentence starts after.
    uint8_t sentenceTag() const { return sentenceTag_; }
    bool isNoun(uint8_t tag) const { return nouns_[tag]; }
    const std::string& tagName(uint8_t tag) const { return tagNames_[tag]; }
    size_t wordCount() const { return entries_.size(); }

private:
    struct TagCount {
        uint8_t tag;
        uint32_t count;
    };
    struct Entry {
        uint32_t first; // into `counts_`
        uint32_t size;
    };

    TaggerLexicon() = default;
    bool addEntries(std::string_view text, std::unordered_map<std::string_view, Entry>& into);
    bool addTransitions(std::string_view text);
    std::optional<uint8_t> tagIndex(std::string_view name);
    const Entry* entryOf(std::string_view word) const;
    std::string_view classOf(std::string_view word) const;

    struct Transition {
        uint8_t previous;
        uint8_t tag;
        float probability;
    };
    std::vector<Transition> readTransitions_; // while parsing

    // The files' texts stay here; the maps' keys point into them.
    std::shared_ptr<const std::string> wordsText_;
    std::shared_ptr<const std::string> unknownText_;
    std::unordered_map<std::string_view, Entry> entries_;
    std::unordered_map<std::string_view, Entry> classes_;
    std::vector<TagCount> counts_;
    std::vector<std::string> tagNames_;
    std::vector<float> transitions_; // [previous * tag count + tag]
    std::vector<bool> nouns_;
    uint8_t sentenceTag_ = 0;
};

} // namespace oxel
