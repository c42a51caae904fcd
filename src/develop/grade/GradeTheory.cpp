#include "develop/grade/GradeTheory.h"

#include "develop/grade/LookName.h"

namespace oxel::GradeTheory {
namespace {

using Move = SuggestedGrade::HueMove;

// One cell's row of the house tables.
struct HouseRow {
    SuggestedGrade::Triple lift, gamma, gain;
    double saturation;
    double skinHold;
    std::vector<Move> moves;
};

constexpr SuggestedGrade::Triple flat{1, 1, 1};

// Rows in the order of the grid: temperatures sun, night, night-in, warm, cool; densities rich,
// quiet, drained within each.
const std::array<HouseRow, 15>& houseRows()
{
    static const std::array<HouseRow, 15> rows{{
        // sun
        {{-0.015, 0.005, 0.03},
         flat,
         {1.045, 1, 0.955},
         1.08,
         0.45,
         {{35, 28, 45, 1.12, 1}, {225, 200, 50, 1.08, 0.95}, {110, 125, 45, 0.8, 0.92}}},
        {{-0.005, 0.015, 0.035},
         flat,
         {1.03, 1, 0.97},
         0.88,
         0.8,
         {{35, 28, 45, 1.05, 1}, {225, 200, 50, 0.9, 1}, {110, 125, 45, 0.8, 0.92}}},
        {{0.015, 0.025, 0.035},
         flat,
         {1.02, 1, 0.98},
         0.7,
         0.8,
         {{35, 28, 45, 1, 1}, {225, 225, 75, 0.6, 1}, {110, 125, 45, 0.6, 0.92}}},
        // night
        {{-0.01, 0.012, 0.034},
         flat,
         {1.04, 1, 0.96},
         1.08,
         0.8,
         {{35, 28, 45, 1.12, 1}, {225, 200, 50, 1.1, 0.95}, {110, 125, 45, 0.8, 0.92}}},
        {{0.002, 0.012, 0.022},
         flat,
         {1.02, 1, 0.98},
         0.88,
         0.8,
         {{35, 28, 45, 1.05, 1}, {225, 200, 50, 0.9, 1}, {110, 125, 45, 0.8, 0.92}}},
        {{0.007, 0.012, 0.017},
         flat,
         {1.01, 1, 0.99},
         0.7,
         0.8,
         {{35, 28, 45, 1, 1}, {225, 225, 75, 0.6, 1}, {110, 125, 45, 0.6, 0.92}}},
        // night-in
        {{0.035, 0.015, -0.005},
         {1, 1.02, 1.04},
         {1, 0.99, 1.02},
         1.08,
         0.8,
         {{35, 28, 45, 1.1, 0.95}, {225, 200, 50, 1.15, 0.95}, {110, 125, 45, 0.8, 0.92}}},
        {{0.025, 0.015, 0.005},
         {1, 1.01, 1.02},
         {1, 1, 1.01},
         0.88,
         0.8,
         {{35, 28, 45, 1.05, 1}, {225, 200, 50, 1, 1}, {110, 125, 45, 0.8, 0.92}}},
        {{0.02, 0.015, 0.01},
         {1, 1.01, 1.02},
         {1, 1, 1},
         0.7,
         0.8,
         {{35, 28, 45, 1, 1}, {225, 200, 50, 0.8, 1}, {110, 125, 45, 0.6, 0.92}}},
        // warm
        {{0.035, 0.025, 0.015},
         {0.99, 1, 1.02},
         {1.03, 1, 0.97},
         1.1,
         0.8,
         {{35, 28, 45, 1.12, 0.97}, {225, 200, 50, 0.8, 1}, {110, 125, 45, 0.8, 0.92}}},
        {{0.035, 0.025, 0.015},
         {0.99, 1, 1.02},
         {1.02, 1, 0.98},
         0.88,
         0.8,
         {{35, 28, 45, 1.08, 0.97}, {225, 200, 55, 0.7, 1}, {110, 125, 45, 0.8, 0.92}}},
        {{0.035, 0.025, 0.015},
         {0.98, 1, 1.03},
         {1.02, 1, 0.98},
         0.7,
         0.8,
         {{35, 28, 45, 1, 1}, {225, 225, 75, 0.45, 1}, {110, 125, 45, 0.6, 0.92}}},
        // cool
        {{0.01, 0.025, 0.04},
         {1.02, 1, 0.98},
         {0.98, 1, 1.02},
         1.05,
         0.8,
         {{35, 35, 45, 1.1, 0.93}, {225, 200, 50, 1.1, 1}, {110, 125, 45, 0.8, 0.92}}},
        {{0.01, 0.025, 0.04},
         {1.01, 1, 0.99},
         {0.99, 1, 1.01},
         0.85,
         0.8,
         {{225, 200, 50, 0.95, 1}, {110, 125, 45, 0.8, 0.92}}},
        {{0.01, 0.025, 0.04},
         {1.02, 1, 0.98},
         {0.99, 1, 1.01},
         0.7,
         0.8,
         {{35, 35, 75, 0.5, 1}, {225, 200, 50, 0.9, 1}, {110, 125, 45, 0.6, 0.92}}},
    }};
    return rows;
}

const HouseRow& rowOf(Cell cell)
{
    return houseRows()[size_t(cell.temperature) * allDensities.size() + size_t(cell.density)];
}

bool isNight(Temperature temperature)
{
    return temperature == Temperature::night || temperature == Temperature::nightIn;
}

} // namespace

std::string_view rawValue(Temperature temperature)
{
    switch (temperature) {
    case Temperature::sun: return "sun";
    case Temperature::night: return "night";
    case Temperature::nightIn: return "night-in";
    case Temperature::warm: return "warm";
    case Temperature::cool: return "cool";
    }
    return "";
}

std::string_view rawValue(Density density)
{
    switch (density) {
    case Density::rich: return "rich";
    case Density::quiet: return "quiet";
    case Density::drained: return "drained";
    }
    return "";
}

std::optional<Temperature> temperature(std::string_view raw)
{
    for (Temperature t : allTemperatures)
        if (rawValue(t) == raw) return t;
    return std::nullopt;
}

std::optional<Density> density(std::string_view raw)
{
    for (Density d : allDensities)
        if (rawValue(d) == raw) return d;
    return std::nullopt;
}

std::string Cell::look() const
{
    return std::string(rawValue(temperature)) + "-" + std::string(rawValue(density));
}

std::optional<Cell> cell(std::string_view look)
{
    // Split at the last hyphen: "night-in" itself holds one.
    const std::string name = normalisedLookName(look);
    const size_t hyphen = name.rfind('-');
    if (hyphen == std::string::npos) return std::nullopt;
    const auto d = density(std::string_view(name).substr(hyphen + 1));
    if (!d) return std::nullopt;
    const auto t = temperature(std::string_view(name).substr(0, hyphen));
    if (!t) return std::nullopt;
    return Cell{*t, *d};
}

SuggestedGrade grade(Cell cell, const std::string& brief)
{
    const HouseRow& row = rowOf(cell);
    SuggestedGrade grade;
    grade.brief = brief;
    grade.look = cell.look();
    grade.lift = row.lift;
    grade.gamma = row.gamma;
    grade.gain = row.gain;
    grade.saturation = row.saturation;
    grade.contrast = 1.12;
    grade.saturationShadows = isNight(cell.temperature) ? 0.8 : 0.75;
    grade.saturationHighlights = isNight(cell.temperature) ? 0.95 : 0.7;
    grade.skinHold = row.skinHold;
    grade.hueMoves = row.moves;
    return grade;
}

SuggestedGrade grade(Cell cell, const std::string& brief, double strength)
{
    return grade(cell, brief).scaled(strength);
}

} // namespace oxel::GradeTheory
