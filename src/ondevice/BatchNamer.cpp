#include "ondevice/BatchNamer.h"

#include "backend/Utf8Text.h"
#include "ondevice/FirstOccurrences.h"
#include "platform/Joined.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>

namespace oxel::BatchNamer {
namespace {

constexpr std::array<std::string_view, 52> genericNouns = {
    "photo",  "photograph", "image",     "picture",  "light",   "frame",      "shot",        "moment",   "background",
    "colour", "color",      "tone",      "detail",   "scene",   "side",       "face",        "subject",  "foreground",
    "shadow", "handheld",   "highlight", "contrast", "mood",    "feel",       "look",        "sense",    "edge",
    "eye",    "eyes",       "hair",      "skin",     "gaze",    "expression", "composition", "texture",  "palette",
    "warmth", "space",      "way",       "part",     "top",     "bottom",     "record",      "snapshot", "portrait",
    "close",  "view",       "angle",     "front",    "element", "marking",    "markings"};

constexpr size_t shortestName = 3;
constexpr int firstNounTally = 3;
constexpr int laterNounTally = 1;

bool isPersonWord(std::string_view word)
{
    return std::find(personWords.begin(), personWords.end(), word) != personWords.end();
}

bool endsWithAny(std::string_view word, std::initializer_list<std::string_view> endings)
{
    return std::any_of(endings.begin(), endings.end(),
                       [word](std::string_view ending) { return word.ends_with(ending); });
}

bool isVowel(char c)
{
    return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u';
}

std::vector<std::string> lowerCasedAll(const std::vector<std::string>& texts)
{
    std::vector<std::string> lowered;
    lowered.reserve(texts.size());
    for (const std::string& text : texts) lowered.push_back(lowerCased(text));
    return lowered;
}

// Step 1: the first occasion that at least a third of the descriptions mention.
std::optional<std::string_view> occasionOf(const std::vector<std::string>& descriptions)
{
    const size_t m = std::max<size_t>(descriptions.size(), 1);
    for (const Occasion& occasion : occasions()) {
        const auto mentions = [&occasion](const std::string& description) {
            return std::any_of(
                occasion.keywords.begin(), occasion.keywords.end(),
                [&description](std::string_view keyword) { return description.find(keyword) != std::string::npos; });
        };
        const auto count = size_t(std::count_if(descriptions.begin(), descriptions.end(), mentions));
        if (count * 3 >= m) return occasion.name;
    }
    return std::nullopt;
}

// Step 2: each text's nouns, singular, the first that counts worth more than the rest.
std::map<std::string, int> nounTallies(const std::vector<std::string>& texts, const NounTagger& tagger)
{
    std::map<std::string, int> tallies;
    for (const std::string& text : texts) {
        bool counted = false;
        for (const TaggedWord& word : tagger.words(text)) {
            if (!word.noun) continue;
            std::string noun = singular(word.text);
            if (characterCount(noun) < shortestName || isGenericNoun(noun)) continue;
            tallies[std::move(noun)] += counted ? laterNounTally : firstNounTally;
            counted = true;
        }
    }
    return tallies;
}

// Where the candidates that share the highest tally first occur in the joined text; the others
// cannot win a tie.
std::map<std::string, size_t> firstPositions(const std::map<std::string, int>& candidates, std::string_view joinedText)
{
    int highest = 0;
    for (const auto& [noun, tally] : candidates) highest = std::max(highest, tally);
    std::vector<std::string> tied;
    for (const auto& [noun, tally] : candidates)
        if (tally == highest) tied.push_back(noun);
    if (tied.size() < 2) return {};
    return firstOccurrences(joinedText, tied);
}

// The name of a subject shared by several pictures: the noun in the plural, but only when the
// tagger's data knows it, or its plural, as a noun. A word the tagger never saw was only guessed to
// be one, and is often an adjective ("colourful", "contrasty"): it stays as it is.
std::string sharedSubject(const std::string& noun, const NounTagger& tagger)
{
    std::string plurals = plural(noun);
    return tagger.knowsAsNoun(noun) || tagger.knowsAsNoun(plurals) ? plurals : noun;
}

} // namespace

const std::vector<Occasion>& occasions()
{
    static const std::vector<Occasion> table = {
        {"wedding", {"wedding", "bride", "groom", "bridal", "bridesmaid", "veil", "ceremony"}},
        {"christening", {"christening", "baptism"}},
        {"gig", {"concert", "gig", "stage", "band", "guitarist", "drummer", "singer"}},
        {"party", {"party", "birthday", "celebration"}},
        {"graduation", {"graduation", "graduate"}},
        {"race", {"race", "marathon", "runner", "cyclist"}},
    };
    return table;
}

bool isGenericNoun(std::string_view noun)
{
    return std::find(genericNouns.begin(), genericNouns.end(), noun) != genericNouns.end();
}

std::string lowerCased(std::string_view text)
{
    const std::string repaired = utf8Repaired(text);
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(repaired);
    unicode.toLower(icu::Locale::getRoot());
    std::string lowered;
    unicode.toUTF8String(lowered);
    return lowered;
}

std::optional<std::string> heuristicName(const std::vector<std::string>& descriptions,
                                         const std::vector<std::string>& intents,
                                         const std::optional<std::string>& place, const NounTagger& tagger)
{
    const std::vector<std::string> loweredDescriptions = lowerCasedAll(descriptions);
    if (const auto occasion = occasionOf(loweredDescriptions)) return withPlace(*occasion, place);

    std::vector<std::string> texts = loweredDescriptions;
    const std::vector<std::string> loweredIntents = lowerCasedAll(intents);
    texts.insert(texts.end(), loweredIntents.begin(), loweredIntents.end());
    const std::map<std::string, int> tallies = nounTallies(texts, tagger);

    int persons = 0;
    std::map<std::string, int> candidates;
    for (const auto& [noun, tally] : tallies) {
        if (isPersonWord(noun))
            persons += tally;
        else
            candidates.emplace(noun, tally);
    }
    const std::optional<std::string> best = bestNoun(candidates, firstPositions(candidates, joined(texts, " ")));
    const int bestTally = best ? candidates.at(*best) : 0;

    const auto n = int(descriptions.size());
    const int m = std::max(n, 1);
    if (persons >= m && persons > 2 * bestTally) return withPlace("portraits", place);
    if (best && (n == 1 || bestTally >= 3)) return withPlace(n == 1 ? *best : sharedSubject(*best, tagger), place);
    if (persons >= 1) return withPlace("portraits", place);
    return place;
}

std::optional<std::string> bestNoun(const std::map<std::string, int>& tallies,
                                    const std::map<std::string, size_t>& firstSeen)
{
    const auto positionOf = [&firstSeen](const std::string& noun) {
        const auto found = firstSeen.find(noun);
        return found == firstSeen.end() ? std::string::npos : found->second;
    };
    std::optional<std::string> best;
    int bestTally = 0;
    size_t bestPosition = std::string::npos;
    for (const auto& [noun, tally] : tallies) {
        const size_t position = positionOf(noun);
        if (!best || tally > bestTally || (tally == bestTally && position < bestPosition)) {
            best = noun;
            bestTally = tally;
            bestPosition = position;
        }
    }
    return best;
}

std::string singular(std::string_view noun)
{
    const size_t characters = characterCount(noun);
    if (noun.ends_with("ies") && characters >= 5) return std::string(noun.substr(0, noun.size() - 3)) + "y";
    if (endsWithAny(noun, {"ses", "xes", "ches", "shes"})) return std::string(noun.substr(0, noun.size() - 2));
    if (noun.ends_with("s") && !endsWithAny(noun, {"ss", "us", "is", "ns"}) && characters >= 4)
        return std::string(noun.substr(0, noun.size() - 1));
    return std::string(noun);
}

std::string plural(std::string_view noun)
{
    if (noun.ends_with("s")) return std::string(noun);
    if (noun.size() >= 2 && noun.ends_with("y") && !isVowel(noun[noun.size() - 2]))
        return std::string(noun.substr(0, noun.size() - 1)) + "ies";
    if (endsWithAny(noun, {"ch", "sh", "x"})) return std::string(noun) + "es";
    return std::string(noun) + "s";
}

std::string withPlace(std::string_view name, const std::optional<std::string>& place)
{
    if (!place || place->empty()) return std::string(name);
    return std::string(name) + " · " + *place;
}

} // namespace oxel::BatchNamer
