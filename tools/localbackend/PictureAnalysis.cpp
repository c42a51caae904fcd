#include "localbackend/PictureAnalysis.h"

#include "develop/grade/GradeRunnerUp.h"
#include "develop/grade/GradeTheory.h"

#include <algorithm>
#include <cmath>

namespace oxel::local {
namespace {

using GradeTheory::Cell;
using GradeTheory::Density;
using GradeTheory::Temperature;

constexpr int sampleTarget = 65536;

Temperature temperatureOf(const PictureStatistics& s)
{
    if (s.luma < 0.28) return s.redOverBlue > 1.05 ? Temperature::nightIn : Temperature::night;
    if (s.redOverBlue > 1.12 && s.luma > 0.5) return Temperature::sun;
    return s.redOverBlue >= 1.0 ? Temperature::warm : Temperature::cool;
}

Density densityOf(const PictureStatistics& s)
{
    if (s.saturation > 0.35) return Density::rich;
    if (s.saturation > 0.18) return Density::quiet;
    return Density::drained;
}

std::vector<std::string> descriptorsOf(const PictureStatistics& s)
{
    std::vector<std::string> words;
    words.push_back(s.luma > 0.6 ? "bright" : s.luma < 0.3 ? "low light" : "even light");
    if (isBlackAndWhite(s))
        words.push_back("monochrome");
    else
        words.push_back(s.redOverBlue >= 1.0 ? "warm" : "cool");
    words.push_back(s.saturation > 0.35 ? "colourful" : s.saturation > 0.18 ? "natural colour" : "muted");
    words.push_back(s.contrast > 0.25 ? "contrasty" : "soft");
    return words;
}

std::string intentOf(const PictureStatistics& s)
{
    auto words = descriptorsOf(s);
    return "a " + words[1] + ", " + words[0] + " scene with " + words[3] + " tones";
}

// The house grade of the cell, nudged to take out a part of the picture's colour cast.
SuggestedGrade suggestedGrade(const PictureStatistics& s, Cell cell)
{
    SuggestedGrade grade = GradeTheory::grade(cell, intentOf(s));
    double mean = (s.red + s.green + s.blue) / 3.0;
    double channels[3] = {s.red, s.green, s.blue};
    for (int c = 0; c < 3; ++c) {
        double balance = channels[c] > 1e-6 ? std::clamp(mean / channels[c], 0.95, 1.05) : 1.0;
        grade.gain[c] = std::clamp(grade.gain[c] * (1.0 + 0.5 * (balance - 1.0)), 0.85, 1.15);
    }
    return grade;
}

} // namespace

Cell houseCell(const PictureStatistics& s)
{
    return {temperatureOf(s), densityOf(s)};
}

Density neighbourDensity(Density density, const PictureStatistics& s)
{
    switch (density) {
    case Density::rich: return Density::quiet;
    case Density::drained: return Density::quiet;
    case Density::quiet: return s.saturation > 0.265 ? Density::rich : Density::drained;
    }
    return Density::quiet;
}

bool isBlackAndWhite(const PictureStatistics& s)
{
    return s.saturation < 0.03;
}

PictureStatistics PictureStatistics::measure(const RgbPicture& picture)
{
    PictureStatistics s;
    size_t count = size_t(picture.width) * picture.height;
    if (count == 0) return s;
    size_t step = std::max<size_t>(1, count / sampleTarget);
    double sumLuma = 0, sumLuma2 = 0, sumSaturation = 0, sum[3] = {0, 0, 0};
    size_t taken = 0;
    for (size_t i = 0; i < count; i += step, ++taken) {
        const uint8_t* p = &picture.pixels[i * 3];
        double r = p[0] / 255.0, g = p[1] / 255.0, b = p[2] / 255.0;
        double luma = 0.2126 * r + 0.7152 * g + 0.0722 * b;
        double high = std::max({r, g, b}), low = std::min({r, g, b});
        sumLuma += luma;
        sumLuma2 += luma * luma;
        sumSaturation += high > 0 ? (high - low) / high : 0;
        sum[0] += r;
        sum[1] += g;
        sum[2] += b;
    }
    s.luma = sumLuma / taken;
    s.contrast = std::sqrt(std::max(0.0, sumLuma2 / taken - s.luma * s.luma));
    s.saturation = sumSaturation / taken;
    s.red = sum[0] / taken;
    s.green = sum[1] / taken;
    s.blue = sum[2] / taken;
    s.redOverBlue = s.blue > 1e-6 ? s.red / s.blue : 2.0;
    return s;
}

nlohmann::json analysisJson(const PictureStatistics& s)
{
    auto words = descriptorsOf(s);
    nlohmann::json analysis = {
        {"perceived_intent", intentOf(s)},
        {"descriptors", words},
        {"isBlackAndWhite", isBlackAndWhite(s)},
        {"grain", {{"refined", 1}, {"full_send", s.luma < 0.3 ? 3 : 2}}},
        {"descriptions",
         {{"original", "the photograph as taken: " + words[0] + ", " + words[2]},
          {"refined", "the light reshaped gently from the upper left"},
          {"full_send", "the light reshaped fully from the upper left, shadows deepened"}}},
    };
    if (!isBlackAndWhite(s)) {
        Cell chosen = houseCell(s);
        Cell runnerUp{chosen.temperature, neighbourDensity(chosen.density, s)};
        nlohmann::json grade = suggestedGrade(s, chosen);
        grade.update(nlohmann::json(GradeRunnerUp{runnerUp.look()}));
        analysis["grade"] = grade;
    }
    return analysis;
}

nlohmann::json narrationJson(const PictureStatistics& s, int steps)
{
    nlohmann::json narration = nlohmann::json::object();
    if (steps >= 1) narration["descriptors"] = descriptorsOf(s);
    if (steps >= 2) narration["perceived_intent"] = intentOf(s);
    if (steps >= 3) narration["direction"] = "bringing a soft key light in from the upper left";
    return narration;
}

} // namespace oxel::local
