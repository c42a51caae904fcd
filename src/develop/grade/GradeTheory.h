#pragma once

#include "develop/grade/SuggestedGrade.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// The house looks: a grid of five temperatures by three densities, one fixed grade per cell. A
// cell's name, "<temperature>-<density>", is the look name that grades carry.
namespace GradeTheory {

enum class Temperature { sun, night, nightIn, warm, cool };
enum class Density { rich, quiet, drained };

inline constexpr std::array allTemperatures{Temperature::sun, Temperature::night, Temperature::nightIn,
                                            Temperature::warm, Temperature::cool};
inline constexpr std::array allDensities{Density::rich, Density::quiet, Density::drained};

std::string_view rawValue(Temperature temperature);
std::string_view rawValue(Density density);
// Exact, case-sensitive matches of the raw values only.
std::optional<Temperature> temperature(std::string_view rawValue);
std::optional<Density> density(std::string_view rawValue);

struct Cell {
    Temperature temperature;
    Density density;

    // "<temperature>-<density>", for example "night-in-quiet".
    std::string look() const;

    bool operator==(const Cell&) const = default;
};

// The cell a look name names, after trimming and lower-casing it; none when it names no cell.
std::optional<Cell> cell(std::string_view look);

// The cell's house grade, carrying `brief`.
SuggestedGrade grade(Cell cell, const std::string& brief);

// The cell's house grade scaled by `strength`.
SuggestedGrade grade(Cell cell, const std::string& brief, double strength);

} // namespace GradeTheory
} // namespace oxel

template <>
struct std::hash<oxel::GradeTheory::Cell> {
    size_t operator()(const oxel::GradeTheory::Cell& cell) const noexcept
    {
        return std::hash<std::string>{}(cell.look());
    }
};
