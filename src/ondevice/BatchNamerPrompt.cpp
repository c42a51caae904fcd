#include "ondevice/BatchNamer.h"

#include "library/BatchRecord.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdint>

namespace oxel::BatchNamer {
namespace {

constexpr size_t promptLines = 12;
constexpr size_t longestAnswerWords = 7;
constexpr size_t shortenedAnswerWords = 6;
// Far more than a name's first line needs: an answer of megabytes on one line is read no further.
constexpr size_t longestAnswerRead = 16 * 1024;

std::string_view readablePart(std::string_view answer)
{
    if (answer.size() <= longestAnswerRead) return answer;
    size_t end = longestAnswerRead;
    while (end > 0 && (uint8_t(answer[end]) & 0xC0) == 0x80) --end;
    return answer.substr(0, end);
}

bool isNewline(UChar32 c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isTrimmed(UChar32 c)
{
    static constexpr std::u32string_view marks = U" \t\"'\u201C\u201D\u2018\u2019.:";
    return marks.find(char32_t(c)) != std::u32string_view::npos || u_isUWhiteSpace(c);
}

// The first piece of the text between newlines that is not empty.
icu::UnicodeString firstLine(const icu::UnicodeString& text)
{
    int32_t start = 0;
    while (start < text.length()) {
        int32_t end = start;
        while (end < text.length() && !isNewline(text.char32At(end))) end = text.moveIndex32(end, 1);
        if (end > start) return text.tempSubStringBetween(start, end);
        start = text.moveIndex32(end, 1);
    }
    return {};
}

icu::UnicodeString trimmedOfMarks(const icu::UnicodeString& text)
{
    int32_t start = 0;
    int32_t end = text.length();
    while (start < end && isTrimmed(text.char32At(start))) start = text.moveIndex32(start, 1);
    while (end > start && isTrimmed(text.char32At(text.moveIndex32(end, -1)))) end = text.moveIndex32(end, -1);
    return text.tempSubStringBetween(start, end);
}

std::vector<std::string> wordsBetweenSpaces(const std::string& text)
{
    std::vector<std::string> words;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find(' ', start), text.size());
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

} // namespace

const std::string& modelInstructions()
{
    static const std::string text =
        "You name a batch of photographs for a photographer's list of past work, so they can scan the list and "
        "recognise the batch at once. Answer with the name only: two to five words, lowercase, no quotation marks, "
        "no full stop. If the photographs are of one event (a wedding, a christening, a party, a gig, a race), the "
        "name is the event, for example \"wedding\" or \"garden party\". Otherwise name what they share: the "
        "subject or the theme, for example \"studio headshots\" or \"dogs on the heath\". If a place is given, end "
        "with it after \" \u00B7 \", for example \"headshots \u00B7 london\". Never a person's name. Never a date.";
    return text;
}

std::string modelPrompt(const std::vector<std::string>& descriptions, const std::vector<std::string>& intents,
                        const std::optional<std::string>& place)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i < std::min(descriptions.size(), intents.size()); ++i)
        pairs.emplace_back(descriptions[i], intents[i]);
    std::string prompt = "The photographs, one per line:\n";
    for (const auto& [description, intent] : evenlySpaced(pairs, promptLines)) {
        prompt += "- " + description;
        if (!intent.empty()) prompt += " (" + intent + ")";
        prompt += "\n";
    }
    prompt += place ? "Place: " + *place + "\n" : "No place is given.\n";
    return prompt;
}

std::optional<std::string> cleanAnswer(std::string_view answer)
{
    answer = readablePart(answer);
    const icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(answer.data(), int32_t(answer.size())));
    std::string trimmed;
    trimmedOfMarks(firstLine(text)).toUTF8String(trimmed);
    const std::string lowered = lowerCased(trimmed);
    const std::vector<std::string> words = wordsBetweenSpaces(lowered);
    if (words.empty()) return std::nullopt;
    std::string name = lowered;
    if (words.size() > longestAnswerWords) {
        name.clear();
        for (size_t i = 0; i < shortenedAnswerWords; ++i) name += (i ? " " : "") + words[i];
    }
    name = BatchRecord::fittedName(name);
    if (name.empty()) return std::nullopt;
    return name;
}

} // namespace oxel::BatchNamer
