#pragma once

#include "platform/Decoded.h"

#include "imaging/Image.h"

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// One colour grade of a photograph: lift, gamma and gain per channel (R, G, B), overall saturation
// with factors for the shadows and the highlights, an S-curve contrast, up to three hue moves, the
// share of the grade that skin keeps off, the house look it belongs to and a one-line description.
//
// Grades read from JSON are decoded leniently: only the three colour triples are required, every
// other value falls back to its default, and every value is kept within a fixed range, so a grade
// from any source is safe to render.
struct SuggestedGrade {
    using Triple = std::array<double, 3>;

    struct HueMove {
        double from = 0;         // degrees, centre hue of the colours that move
        double to = 0;           // degrees, the hue they move to
        double width = 45;       // degrees from `from` at which the move fades out
        double saturation = 1.0; // saturation factor at full weight
        double luma = 1.0;       // brightness factor at full weight

        // A move object; fails on a missing or non-numeric "from" or "to", or non-finite hues.
        static Decoded<HueMove> decode(const nlohmann::json& value);

        bool operator==(const HueMove&) const = default;
    };

    static constexpr size_t maxHueMoves = 3;

    std::string brief;
    std::optional<std::string> look;
    Triple lift{0, 0, 0};
    Triple gamma{1, 1, 1};
    Triple gain{1, 1, 1};
    double saturation = 1.0;
    double contrast = 1.0;
    double saturationShadows = 1.0;
    double saturationHighlights = 1.0;
    double skinHold = 0.7;
    std::vector<HueMove> hueMoves;

    // The grade object of an analysis. Fails only when the value is not an object, or "lift",
    // "gamma" or "gain" is missing or does not hold three finite numbers.
    static Decoded<SuggestedGrade> decode(const nlohmann::json& value);

    // The numbers at `key` as a triple, each kept within [low, high].
    static Decoded<Triple> decodeTriple(const nlohmann::json& object, std::string_view key, double low, double high);

    // The grade moved towards the identity: 0 is no grade, 1 the grade itself. Nothing is clamped.
    SuggestedGrade scaled(double strength) const;

    // The grade's features measured against a reference grade: 13 values, then 3 for each of the
    // reference's hue moves.
    std::vector<double> features(const SuggestedGrade& reference) const;

    // How far along the reference this grade lies, to the nearest hundredth: 1 for the reference
    // itself, 0 for a grade orthogonal to it (or a reference with no features).
    double projection(const SuggestedGrade& reference) const;

    // The picture graded by this grade scaled to `strength`. Where a mask is given (stretched over
    // the picture), its white holds `skinHold` of the grade off; without one every pixel is graded.
    Image apply(const Image& image, double strength, const std::optional<Image>& mask = std::nullopt) const;

    bool operator==(const SuggestedGrade&) const = default;
};

// The JSON object of a grade, with the keys that decoding reads; "look" only when there is one.
void to_json(nlohmann::json& json, const SuggestedGrade& grade);
void to_json(nlohmann::json& json, const SuggestedGrade::HueMove& move);

// The signed hue arc of an angle in degrees, within [-180, 180].
double hueArc(double degrees);

} // namespace oxel
