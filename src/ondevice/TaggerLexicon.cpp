#include "ondevice/TaggerLexicon.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>

namespace oxel {
namespace {

constexpr const char* sentenceTagName = "pp";
constexpr std::string_view nounTags[] = {"nn", "nns", "nnp", "nnps"};

// Calls `line` with every line of the text but the YAML header and blank lines; false as soon as
// one call is false.
template <class Function>
bool forEachLine(std::string_view text, Function line)
{
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view current = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        while (!current.empty() && (current.back() == '\r' || current.back() == ' ')) current.remove_suffix(1);
        if (current.empty() || current.starts_with("---")) continue;
        if (!line(current)) return false;
    }
    return true;
}

// A line's key and the inside of its braces: `key: { body }` or `"key": { body }`.
struct KeyedLine {
    std::string_view key;
    std::string_view body;
};

std::optional<KeyedLine> splitLine(std::string_view line)
{
    const size_t open = line.rfind(": {");
    if (open == std::string_view::npos || open == 0 || !line.ends_with("}")) return std::nullopt;
    std::string_view key = line.substr(0, open);
    if (key.front() == '"') {
        if (key.size() < 3 || key.back() != '"') return std::nullopt;
        key = key.substr(1, key.size() - 2);
    }
    return KeyedLine{key, line.substr(open + 3, line.size() - open - 4)};
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// Calls `pair` with the name and the value text of every "name: value" of a body.
template <class Function>
bool forEachPair(std::string_view body, Function pair)
{
    body = trimmed(body);
    if (body.empty()) return false;
    while (!body.empty()) {
        const size_t end = std::min(body.find(','), body.size());
        const std::string_view item = body.substr(0, end);
        body.remove_prefix(std::min(end + 1, body.size()));
        const size_t colon = item.find(':');
        if (colon == std::string_view::npos) return false;
        const std::string_view name = trimmed(item.substr(0, colon));
        if (name.empty() || !pair(name, trimmed(item.substr(colon + 1)))) return false;
    }
    return true;
}

template <class Number>
std::optional<Number> number(std::string_view text)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::string> fileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return std::nullopt;
    return text;
}

// The code points of a UTF-8 word; invalid bytes come as negative values.
std::vector<UChar32> codePoints(std::string_view word)
{
    std::vector<UChar32> points;
    int32_t offset = 0;
    const auto length = int32_t(word.size());
    while (offset < length) {
        UChar32 point;
        U8_NEXT(word.data(), offset, length, point);
        points.push_back(point);
    }
    return points;
}

bool isNumber(std::string_view word)
{
    const size_t digits = std::count_if(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
    const bool numberCharacters = std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '.' || c == '/' || c == ':' || c == '-';
    });
    return digits > 0 && numberCharacters;
}

bool isAbbreviation(const std::vector<UChar32>& points)
{
    return u_isupper(points.front()) && std::all_of(points.begin(), points.end(), [](UChar32 point) {
               return u_isupper(point) || point == '.' || point == '-';
           });
}

} // namespace

std::optional<TaggerLexicon> TaggerLexicon::parse(std::string words, std::string_view tags, std::string_view unknown)
{
    TaggerLexicon lexicon;
    lexicon.wordsText_ = std::make_shared<const std::string>(std::move(words));
    lexicon.unknownText_ = std::make_shared<const std::string>(unknown);
    lexicon.entries_.reserve(std::count(lexicon.wordsText_->begin(), lexicon.wordsText_->end(), '\n') + 1);
    if (!lexicon.addTransitions(tags) || !lexicon.addEntries(*lexicon.unknownText_, lexicon.classes_) ||
        !lexicon.addEntries(*lexicon.wordsText_, lexicon.entries_))
        return std::nullopt;

    const auto sentence = std::find(lexicon.tagNames_.begin(), lexicon.tagNames_.end(), sentenceTagName);
    if (sentence == lexicon.tagNames_.end()) return std::nullopt;
    lexicon.sentenceTag_ = uint8_t(sentence - lexicon.tagNames_.begin());

    const size_t tagCount = lexicon.tagNames_.size();
    lexicon.transitions_.assign(tagCount * tagCount, 0.0f);
    bool sentenceHasTransitions = false;
    for (const Transition& transition : lexicon.readTransitions_) {
        lexicon.transitions_[transition.previous * tagCount + transition.tag] = transition.probability;
        sentenceHasTransitions |= transition.previous == lexicon.sentenceTag_ && transition.probability > 0;
    }
    lexicon.readTransitions_ = {};
    if (!sentenceHasTransitions) return std::nullopt;
    for (const std::string& name : lexicon.tagNames_)
        lexicon.nouns_.push_back(std::find(std::begin(nounTags), std::end(nounTags), name) != std::end(nounTags));
    return lexicon;
}

std::optional<TaggerLexicon> TaggerLexicon::read(const std::string& folder)
{
    auto words = fileText(folder + "/words.yml");
    const auto tags = fileText(folder + "/tags.yml");
    const auto unknown = fileText(folder + "/unknown.yml");
    if (!words || !tags || !unknown) return std::nullopt;
    return parse(*std::move(words), *tags, *unknown);
}

std::optional<uint8_t> TaggerLexicon::tagIndex(std::string_view name)
{
    const auto found = std::find(tagNames_.begin(), tagNames_.end(), name);
    if (found != tagNames_.end()) return uint8_t(found - tagNames_.begin());
    if (tagNames_.size() == 255) return std::nullopt;
    tagNames_.emplace_back(name);
    return uint8_t(tagNames_.size() - 1);
}

bool TaggerLexicon::addTransitions(std::string_view text)
{
    return forEachLine(text, [this](std::string_view line) {
        const auto keyed = splitLine(line);
        const auto previous = keyed ? tagIndex(keyed->key) : std::nullopt;
        if (!previous) return false;
        return forEachPair(keyed->body, [&](std::string_view name, std::string_view value) {
            const auto tag = tagIndex(name);
            const auto probability = number<float>(value);
            if (!tag || !probability || !(*probability >= 0.0f && *probability <= 1.0f)) return false;
            readTransitions_.push_back({*previous, *tag, *probability});
            return true;
        });
    });
}

bool TaggerLexicon::addEntries(std::string_view text, std::unordered_map<std::string_view, Entry>& into)
{
    return forEachLine(text, [&](std::string_view line) {
        const auto keyed = splitLine(line);
        if (!keyed) return false;
        const Entry entry{uint32_t(counts_.size()), 0};
        const bool read = forEachPair(keyed->body, [&](std::string_view name, std::string_view value) {
            const auto tag = tagIndex(name);
            const auto count = number<uint32_t>(value);
            if (!tag || !count) return false;
            counts_.push_back({*tag, *count});
            return true;
        });
        if (!read) return false;
        into[keyed->key] = Entry{entry.first, uint32_t(counts_.size()) - entry.first};
        return true;
    });
}

const TaggerLexicon::Entry* TaggerLexicon::entryOf(std::string_view word) const
{
    if (const auto found = entries_.find(word); found != entries_.end()) return &found->second;
    const std::string_view wordClass = classOf(word);
    if (const auto found = entries_.find(wordClass); found != entries_.end()) return &found->second;
    if (const auto found = classes_.find(wordClass); found != classes_.end()) return &found->second;
    return nullptr;
}

// The class of a word missing from the lexicon, by its shape and then its ending.
std::string_view TaggerLexicon::classOf(std::string_view word) const
{
    if (word.empty()) return "-sym-";
    if (isNumber(word)) return "*NUM*";
    if (word.front() >= '0' && word.front() <= '9') return "*ORD*";
    const std::vector<UChar32> points = codePoints(word);
    if (isAbbreviation(points)) return "-abr-";
    if (const size_t hyphen = word.rfind('-'); hyphen != std::string_view::npos && hyphen > 0) {
        const auto suffix = entries_.find(word.substr(hyphen + 1));
        const bool adjective =
            suffix != entries_.end() && std::any_of(counts_.begin() + suffix->second.first,
                                                    counts_.begin() + suffix->second.first + suffix->second.size,
                                                    [this](TagCount count) { return tagNames_[count.tag] == "jj"; });
        return adjective ? "-hyp-adj-" : "-hyp-";
    }
    if (std::none_of(points.begin(), points.end(), [](UChar32 point) { return point >= 0 && u_isalnum(point); }))
        return "-sym-";
    if (!u_islower(points.front())) return "-cap-";
    if (word.ends_with("ing")) return "-ing-";
    if (word.ends_with("s")) return "-s-";
    if (word.ends_with("tion")) return "-tion-";
    if (word.ends_with("ly")) return "-ly-";
    if (word.ends_with("ed")) return "-ed-";
    return "-unknown-";
}

bool TaggerLexicon::knowsAsNoun(std::string_view word) const
{
    const auto found = entries_.find(word);
    if (found == entries_.end()) return false;
    const auto first = counts_.begin() + found->second.first;
    return std::any_of(first, first + found->second.size, [this](TagCount count) { return nouns_[count.tag]; });
}

std::optional<uint8_t> TaggerLexicon::tagAfter(uint8_t previous, std::string_view word) const
{
    const Entry* entry = entryOf(word);
    if (!entry || entry->size == 0) return std::nullopt;
    const auto first = counts_.begin() + entry->first;
    const auto last = first + entry->size;
    const size_t row = size_t(previous) * tagNames_.size();
    float best = 0.0f;
    std::optional<uint8_t> bestTag;
    for (auto count = first; count != last; ++count) {
        const float probability = transitions_[row + count->tag] * (float(count->count) + 1.0f);
        if (probability > best) {
            best = probability;
            bestTag = count->tag;
        }
    }
    // No tag of the word may follow the previous one: take the word's commonest.
    if (!bestTag)
        bestTag = std::max_element(first, last, [](TagCount a, TagCount b) { return a.count < b.count; })->tag;
    return bestTag;
}

} // namespace oxel
