#pragma once

#include "async/Task.h"
#include "ondevice/LanguageModel.h"
#include "ondevice/NounTagger.h"

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// Names a batch from what the analyses say about its pictures: by rules, or by the local model,
// with the place where the pictures were taken. Plain functions and constant tables; nothing here
// keeps state between calls.
namespace BatchNamer {

struct Occasion {
    const char* name;
    std::vector<std::string_view> keywords;
};

// In the order that decides between occasions that both qualify.
const std::vector<Occasion>& occasions();
// Nouns that never name a batch.
bool isGenericNoun(std::string_view noun);
inline constexpr std::array<std::string_view, 8> personWords = {"woman", "man",   "person", "girl",
                                                                "boy",   "child", "people", "couple"};

// The rule-based name, lower case: an occasion, a shared subject or "portraits", joined with the
// place; the place alone when nothing names the batch; nothing without a place either. The
// descriptions and the intents hold one text per developed picture (an intent may be empty).
std::optional<std::string> heuristicName(const std::vector<std::string>& descriptions,
                                         const std::vector<std::string>& intents,
                                         const std::optional<std::string>& place,
                                         const NounTagger& tagger = NounTagger::standard());

// The noun with the highest tally; a tie goes to the one first seen earlier (a missing position
// counts as last), then to the alphabetically first. Nothing when there are no candidates.
std::optional<std::string> bestNoun(const std::map<std::string, int>& tallies,
                                    const std::map<std::string, size_t>& firstSeen);

// "dogs" -> "dog", "puppies" -> "puppy", "benches" -> "bench"; "glass", "bus", "iris" unchanged.
std::string singular(std::string_view noun);
// "dog" -> "dogs", "puppy" -> "puppies", "bench" -> "benches"; a word ending in "s" unchanged.
std::string plural(std::string_view noun);
// "wedding · york", or the name alone when there is no place or it is empty.
std::string withPlace(std::string_view name, const std::optional<std::string>& place);

// The text lower-cased by Unicode's rules, its invalid UTF-8 repaired first.
std::string lowerCased(std::string_view text);

// The elements at i x size / count for i = 0 to count - 1; the whole list when it is no longer.
template <class T>
std::vector<T> evenlySpaced(const std::vector<T>& list, size_t count)
{
    if (count >= list.size()) return list;
    std::vector<T> chosen;
    chosen.reserve(count);
    for (size_t i = 0; i < count; ++i) chosen.push_back(list[i * list.size() / count]);
    return chosen;
}

struct Coordinate {
    double latitude = 0;
    double longitude = 0;
};

// Gives a coordinate's place name, or nothing.
using Geocoder = std::function<Task<std::optional<std::string>>(Coordinate)>;

// The place of a batch: up to three evenly spaced coordinates geocoded in turn, stopping at the
// first that gives nothing; their lower-cased name when they all agree, otherwise nothing.
Task<std::optional<std::string>> placeName(std::vector<Coordinate> coordinates, Geocoder geocoder = {});

// The locality at a coordinate, else its region, from the place index of this process, looked up
// on the work pool (which reads the index on first use).
Task<std::optional<std::string>> reverseGeocode(Coordinate coordinate);

// The instructions and the prompt of a naming request.
const std::string& modelInstructions();
std::string modelPrompt(const std::vector<std::string>& descriptions, const std::vector<std::string>& intents,
                        const std::optional<std::string>& place);

// The model's name for the batch, cleaned; nothing when the model is not available, there is no
// description, or the request fails or is cancelled.
Task<std::optional<std::string>> askModel(std::vector<std::string> descriptions, std::vector<std::string> intents,
                                          std::optional<std::string> place,
                                          LanguageModel* model = &LanguageModel::shared(), CancelToken cancel = {});

// The first non-empty line of an answer, trimmed of white space, quotation marks, full stops and
// colons, lower-cased, cut to six words when it has eight or more, and fitted as a batch name
// (`BatchRecord::fittedName`); nothing when empty. Only the answer's first 16 KB are read.
std::optional<std::string> cleanAnswer(std::string_view answer);

} // namespace BatchNamer
} // namespace oxel
