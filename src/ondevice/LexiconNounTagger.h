#pragma once

#include "ondevice/NounTagger.h"
#include "ondevice/TaggerLexicon.h"

#include <memory>

namespace oxel {

// The noun tagger over a `TaggerLexicon`: words from Unicode word breaks, each tagged greedily
// after the tag of the word before it, the first after the sentence tag. Linear in the text.
// Without a lexicon it still gives the words, none of them a noun.
class LexiconNounTagger : public NounTagger {
public:
    explicit LexiconNounTagger(std::shared_ptr<const TaggerLexicon> lexicon);

    std::vector<TaggedWord> words(std::string_view text) const override;
    bool knowsAsNoun(std::string_view word) const override;
    bool isAvailable() const { return lexicon_ != nullptr; }

private:
    std::shared_ptr<const TaggerLexicon> lexicon_;
};

// The tokens between the word breaks of a UTF-8 text that hold a letter or a digit, in order;
// invalid bytes read as U+FFFD.
std::vector<std::string> wordTokens(std::string_view text);

} // namespace oxel
