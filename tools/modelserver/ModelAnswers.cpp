#include "modelserver/ModelAnswers.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <sstream>
#include <vector>

namespace oxel::local {
namespace {

using GradeTheory::Density;
using GradeTheory::Temperature;

// One word for each temperature and density, so that the brief's length stays within its range.
std::string temperatureWord(Temperature temperature)
{
    switch (temperature) {
    case Temperature::sun: return "sunlit";
    case Temperature::night: return "nocturnal";
    case Temperature::nightIn: return "lamplit";
    case Temperature::warm: return "warm";
    case Temperature::cool: return "cool";
    }
    return "warm";
}

std::string densityWord(Density density)
{
    switch (density) {
    case Density::rich: return "rich";
    case Density::quiet: return "gentle";
    case Density::drained: return "muted";
    }
    return "gentle";
}

double strengthOf(const PictureStatistics& s)
{
    const double lively = std::clamp(0.5 * s.contrast / 0.25 + 0.5 * s.saturation / 0.4, 0.0, 1.0);
    return std::round((0.6 + 0.4 * lively) * 10) / 10;
}

std::string readingOf(const PictureStatistics& s)
{
    if (isBlackAndWhite(s)) return "The light is even and the picture holds almost no colour at all.";
    const std::string light = s.luma > 0.6   ? "bright and open"
                              : s.luma < 0.3 ? "low, coming from what glows in the frame"
                                             : "even and soft";
    const std::string colours = s.redOverBlue >= 1.0 ? "warm ambers and browns" : "cool blues and greys";
    return "The light is " + light + ", and the key colours are " + colours + ".";
}

std::string briefOf(const std::optional<GradeTheory::Cell>& cell)
{
    if (!cell) return "No colour is added here, because this photograph already reads best just as it was taken.";
    return "The colour turns this photograph " + temperatureWord(cell->temperature) + ", with " +
           densityWord(cell->density) + " tones that keep its light and its mood as they were.";
}

std::vector<std::string> linesOf(std::string_view text)
{
    std::vector<std::string> lines;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The first few telling words of a description, lower case, without small words.
std::string nameWords(const std::string& description)
{
    static const std::array<std::string, 12> smallWords{"a",  "an", "the", "of", "on",   "in",
                                                        "at", "to", "and", "by", "with", "its"};
    std::istringstream in(description.substr(0, description.find(" (")));
    std::string name, word;
    int kept = 0;
    while (kept < 3 && in >> word) {
        std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
        std::erase_if(word, [](unsigned char c) { return !std::isalnum(c) && c != '-'; });
        if (word.empty() || std::find(smallWords.begin(), smallWords.end(), word) != smallWords.end()) continue;
        name += (kept++ ? " " : "") + word;
    }
    return name.empty() ? "photographs" : name;
}

} // namespace

nlohmann::ordered_json gradeDraft(const PictureStatistics& statistics, DraftChoice choice)
{
    std::optional<GradeTheory::Cell> cell;
    if (!choice.decline && !isBlackAndWhite(statistics)) {
        cell = houseCell(statistics);
        if (choice.secondOpinion) cell->density = neighbourDensity(cell->density, statistics);
    }
    return {{"reading", readingOf(statistics)},
            {"temperature", cell ? std::string(GradeTheory::rawValue(cell->temperature)) : "none"},
            {"density", std::string(GradeTheory::rawValue(cell ? cell->density : Density::drained))},
            {"strength", strengthOf(statistics)},
            {"brief", briefOf(cell)}};
}

std::string batchNameAnswer(std::string_view prompt)
{
    std::string first, place;
    for (const auto& line : linesOf(prompt)) {
        if (first.empty() && line.rfind("- ", 0) == 0) first = line.substr(2);
        if (line.rfind("Place: ", 0) == 0) place = line.substr(7);
    }
    std::string name = nameWords(first);
    if (!place.empty()) name += " · " + place;
    name[0] = char(std::toupper(static_cast<unsigned char>(name[0])));
    return "\u201c" + name + ".\u201d\nI named the batch after its first photograph" +
           (place.empty() ? std::string(".") : " and the place it was taken.");
}

} // namespace oxel::local
