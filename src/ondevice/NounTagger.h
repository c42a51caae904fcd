#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// One word of a text as the tagger read it.
struct TaggedWord {
    std::string text;
    bool noun = false;

    bool operator==(const TaggedWord&) const = default;
};

// Reads which words of a text are nouns: the stand-in for the platform's lexical-class tagger.
class NounTagger {
public:
    virtual ~NounTagger() = default;

    // The words of a UTF-8 text in order: the tokens between word breaks that hold a letter or a
    // digit, punctuation and white space left out, each with whether it reads as a noun here.
    virtual std::vector<TaggedWord> words(std::string_view text) const = 0;

    // Whether the tagger's data holds the word (as it stands) as a noun, rather than guessing it
    // from its shape as it does for words it never saw.
    virtual bool knowsAsNoun(std::string_view word) const = 0;

    // The tagger of this process, over the system's part-of-speech data. Its data is read on first
    // use (a blocking read of about 1 MB: make that use on the work pool); when it cannot be read
    // the tagger still gives the words, and none of them is a noun.
    static const NounTagger& standard();
};

} // namespace oxel
