#include "ondevice/LexiconNounTagger.h"

#include "platform/Diagnostics.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace oxel {
namespace {

// Making a word-break iterator reads ICU's rules; each thread clones one made once.
icu::BreakIterator* wordBreaker()
{
    static const std::unique_ptr<icu::BreakIterator> prototype = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(made) : nullptr;
    }();
    thread_local const std::unique_ptr<icu::BreakIterator> mine(prototype ? prototype->clone() : nullptr);
    return mine.get();
}

bool holdsLetterOrDigit(std::string_view token)
{
    int32_t offset = 0;
    const auto length = int32_t(token.size());
    while (offset < length) {
        UChar32 point;
        U8_NEXT(token.data(), offset, length, point);
        if (point >= 0 && u_isalnum(point)) return true;
    }
    return false;
}

const std::string& dataFolder()
{
    static const std::string folder = TaggerLexicon::systemFolder;
    return folder;
}

// Adds the token as the tagger data's own tokenizer splits it: "'s", "'d" and "'m" after a letter
// are words of their own ("a man's hand" is "a", "man", "'s", "hand"), typographic apostrophe or not.
void addSplittingClitic(std::vector<std::string>& tokens, std::string_view token)
{
    for (const std::string_view apostrophe : {std::string_view("'"), std::string_view("\u2019")}) {
        const size_t clitic = apostrophe.size() + 1;
        if (token.size() <= clitic || token.substr(token.size() - clitic, apostrophe.size()) != apostrophe) continue;
        const char letter = token.back();
        if (letter != 's' && letter != 'd' && letter != 'm') continue;
        const std::string_view stem = token.substr(0, token.size() - clitic);
        if (!holdsLetterOrDigit(stem)) continue;
        tokens.emplace_back(stem);
        tokens.push_back(std::string("'") + letter);
        return;
    }
    tokens.emplace_back(token);
}

} // namespace

std::vector<std::string> wordTokens(std::string_view text)
{
    std::vector<std::string> tokens;
    icu::BreakIterator* breaker = wordBreaker();
    if (!breaker || text.empty()) return tokens;
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), int64_t(text.size()), &status);
    if (U_FAILURE(status)) return tokens;
    breaker->setText(utext, status);
    if (U_SUCCESS(status)) {
        int32_t start = breaker->first();
        for (int32_t end = breaker->next(); end != icu::BreakIterator::DONE; start = end, end = breaker->next()) {
            const std::string_view token = text.substr(size_t(start), size_t(end - start));
            if (holdsLetterOrDigit(token)) addSplittingClitic(tokens, token);
        }
    }
    // The iterator keeps a shallow clone, never read again before the next text is set.
    utext_close(utext);
    return tokens;
}

LexiconNounTagger::LexiconNounTagger(std::shared_ptr<const TaggerLexicon> lexicon) : lexicon_(std::move(lexicon))
{}

std::vector<TaggedWord> LexiconNounTagger::words(std::string_view text) const
{
    std::vector<TaggedWord> tagged;
    std::optional<uint8_t> previous;
    if (lexicon_) previous = lexicon_->sentenceTag();
    for (std::string& token : wordTokens(text)) {
        bool noun = false;
        if (lexicon_) {
            const auto tag = lexicon_->tagAfter(previous.value_or(lexicon_->sentenceTag()), token);
            noun = tag && lexicon_->isNoun(*tag);
            previous = tag;
        }
        tagged.push_back({std::move(token), noun});
    }
    return tagged;
}

bool LexiconNounTagger::knowsAsNoun(std::string_view word) const
{
    return lexicon_ && lexicon_->knowsAsNoun(word);
}

const NounTagger& NounTagger::standard()
{
    static const LexiconNounTagger tagger = [] {
        auto lexicon = TaggerLexicon::read(dataFolder());
        if (!lexicon) {
            diagnose("noun-tagger",
                     "could not read the tagger data in " + dataFolder() + "; batch names by rules count no nouns");
            return LexiconNounTagger(nullptr);
        }
        return LexiconNounTagger(std::make_shared<const TaggerLexicon>(*std::move(lexicon)));
    }();
    return tagger;
}

} // namespace oxel
