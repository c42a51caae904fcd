#include "develop/grade/SuggestedGrade.h"

#include "develop/grade/LookName.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace oxel {
namespace {

using json = nlohmann::json;

double clampedTo(double value, double low, double high)
{
    return std::min(std::max(value, low), high);
}

// A number present at `key`, else the default: absent keys, nulls, other types and values that
// are not finite all fall back silently.
double numberOr(const json& object, const char* key, double fallback)
{
    auto found = object.find(key);
    if (found == object.end() || !found->is_number() || found->is_boolean()) return fallback;
    const double value = found->get<double>();
    return std::isfinite(value) ? value : fallback;
}

std::string stringOr(const json& object, const char* key, std::string fallback)
{
    auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return fallback;
    return found->get<std::string>();
}

// A hue wrapped into [0, 360).
double wrappedHue(double degrees)
{
    return std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0);
}

double towardsIdentity(double value, double strength)
{
    return 1 + strength * (value - 1);
}

// The mean of lift kept within [-0.02, 0.04] by shifting all three channels alike.
void balanceLift(SuggestedGrade::Triple& lift)
{
    const double mean = (lift[0] + lift[1] + lift[2]) / 3;
    if (mean >= -0.02 && mean <= 0.04) return;
    const double shift = mean < -0.02 ? mean + 0.02 : mean - 0.04;
    for (double& channel : lift) channel -= shift;
}

// The mean of gain kept within [0.97, 1.03] by one common factor, so the channel ratios stay.
void balanceGain(SuggestedGrade::Triple& gain)
{
    const double mean = (gain[0] + gain[1] + gain[2]) / 3;
    if (mean >= 0.97 && mean <= 1.03) return;
    const double target = mean < 0.97 ? 0.97 : 1.03;
    for (double& channel : gain) channel = (target * channel) / mean;
}

std::vector<SuggestedGrade::HueMove> decodeHueMoves(const json& object)
{
    std::vector<SuggestedGrade::HueMove> moves;
    auto found = object.find("hue_moves");
    if (found == object.end() || !found->is_array()) return moves;
    for (const json& element : *found) {
        if (moves.size() == SuggestedGrade::maxHueMoves) break;
        // An element that can't be read is stepped over.
        if (auto move = SuggestedGrade::HueMove::decode(element)) moves.push_back(*move);
    }
    return moves;
}

} // namespace

double hueArc(double degrees)
{
    double r = std::fmod(degrees, 360.0);
    if (r > 180) r -= 360;
    if (r < -180) r += 360;
    return r;
}

Decoded<SuggestedGrade::Triple> SuggestedGrade::decodeTriple(const json& object, std::string_view key, double low,
                                                             double high)
{
    const std::string name(key);
    auto found = object.find(name);
    if (found == object.end()) return DecodingError{name, "key not found"};
    if (!found->is_array()) return DecodingError{name, "expected a list of numbers"};
    for (const json& element : *found)
        if (!element.is_number() || element.is_boolean()) return DecodingError{name, "expected a list of numbers"};
    if (found->size() != 3) return DecodingError{name, "three finite numbers"};
    Triple triple;
    for (size_t i = 0; i < 3; ++i) {
        const double value = (*found)[i].get<double>();
        if (!std::isfinite(value)) return DecodingError{name, "three finite numbers"};
        triple[i] = std::min(std::max(value, low), high);
    }
    return triple;
}

Decoded<SuggestedGrade::HueMove> SuggestedGrade::HueMove::decode(const json& value)
{
    if (!value.is_object()) return DecodingError::notAnObject();
    for (const char* key : {"from", "to"}) {
        auto found = value.find(key);
        if (found == value.end()) return DecodingError{key, "key not found"};
        if (!found->is_number() || found->is_boolean()) return DecodingError{key, "expected a number"};
    }
    const double from = value["from"].get<double>(), to = value["to"].get<double>();
    if (!std::isfinite(from) || !std::isfinite(to)) return DecodingError{"from", "finite hues"};
    HueMove move;
    move.from = wrappedHue(from);
    move.to = wrappedHue(to);
    move.width = clampedTo(numberOr(value, "width", 45), 10, 90);
    move.saturation = clampedTo(numberOr(value, "saturation", 1.0), 0.3, 1.5);
    move.luma = clampedTo(numberOr(value, "luma", 1.0), 0.7, 1.2);
    return move;
}

Decoded<SuggestedGrade> SuggestedGrade::decode(const json& value)
{
    if (!value.is_object()) return DecodingError::notAnObject();
    SuggestedGrade grade;
    auto lift = decodeTriple(value, "lift", -0.1, 0.1);
    if (!lift) return lift.error();
    auto gamma = decodeTriple(value, "gamma", 0.85, 1.2);
    if (!gamma) return gamma.error();
    auto gain = decodeTriple(value, "gain", 0.85, 1.15);
    if (!gain) return gain.error();
    grade.lift = *lift;
    grade.gamma = *gamma;
    grade.gain = *gain;
    balanceLift(grade.lift);
    balanceGain(grade.gain);

    grade.saturation = clampedTo(numberOr(value, "saturation", 1.0), 0.6, 1.35);
    grade.skinHold = clampedTo(numberOr(value, "skin_hold", 0.7), 0, 1);
    grade.contrast = clampedTo(numberOr(value, "contrast", 1.0), 0.8, 1.3);
    grade.saturationShadows = clampedTo(numberOr(value, "saturation_shadows", 1.0), 0.4, 1.2);
    grade.saturationHighlights = clampedTo(numberOr(value, "saturation_highlights", 1.0), 0.4, 1.2);
    grade.brief = stringOr(value, "brief", "");
    grade.look = lookNameIn(value, "look");
    grade.hueMoves = decodeHueMoves(value);
    return grade;
}

SuggestedGrade SuggestedGrade::scaled(double s) const
{
    SuggestedGrade out = *this;
    for (size_t i = 0; i < 3; ++i) {
        out.lift[i] = lift[i] * s;
        out.gamma[i] = towardsIdentity(gamma[i], s);
        out.gain[i] = towardsIdentity(gain[i], s);
    }
    out.saturation = towardsIdentity(saturation, s);
    out.contrast = towardsIdentity(contrast, s);
    out.saturationShadows = towardsIdentity(saturationShadows, s);
    out.saturationHighlights = towardsIdentity(saturationHighlights, s);
    for (HueMove& move : out.hueMoves) {
        const double arc = hueArc(move.to - move.from);
        move.to = wrappedHue(move.from + s * arc);
        move.saturation = towardsIdentity(move.saturation, s);
        move.luma = towardsIdentity(move.luma, s);
    }
    return out;
}

std::vector<double> SuggestedGrade::features(const SuggestedGrade& reference) const
{
    std::vector<double> f;
    f.reserve(13 + 3 * reference.hueMoves.size());
    for (double v : lift) f.push_back(v);
    for (double v : gamma) f.push_back(v - 1);
    for (double v : gain) f.push_back(v - 1);
    for (double v : {contrast, saturation, saturationShadows, saturationHighlights}) f.push_back(v - 1);
    for (const HueMove& target : reference.hueMoves) {
        const HueMove* nearest = nullptr;
        double nearestDistance = 0;
        for (const HueMove& move : hueMoves) {
            const double distance = std::abs(hueArc(move.from - target.from));
            if (!nearest || distance < nearestDistance) {
                nearest = &move;
                nearestDistance = distance;
            }
        }
        if (!nearest || nearestDistance > 45) {
            f.insert(f.end(), {0, 0, 0});
        } else {
            f.insert(f.end(), {hueArc(nearest->to - nearest->from) / 100, nearest->saturation - 1, nearest->luma - 1});
        }
    }
    return f;
}

double SuggestedGrade::projection(const SuggestedGrade& reference) const
{
    const std::vector<double> mine = features(reference), theirs = reference.features(reference);
    double dot = 0, norm = 0;
    for (size_t i = 0; i < theirs.size(); ++i) {
        dot += mine[i] * theirs[i];
        norm += theirs[i] * theirs[i];
    }
    if (!(norm > 1e-9)) return 0;
    return std::round(100 * dot / norm) / 100;
}

void to_json(json& out, const SuggestedGrade::HueMove& move)
{
    out = json{{"from", move.from},
               {"to", move.to},
               {"width", move.width},
               {"saturation", move.saturation},
               {"luma", move.luma}};
}

void to_json(json& out, const SuggestedGrade& grade)
{
    out = json{{"brief", grade.brief},
               {"lift", grade.lift},
               {"gamma", grade.gamma},
               {"gain", grade.gain},
               {"saturation", grade.saturation},
               {"contrast", grade.contrast},
               {"saturation_shadows", grade.saturationShadows},
               {"saturation_highlights", grade.saturationHighlights},
               {"skin_hold", grade.skinHold},
               {"hue_moves", grade.hueMoves}};
    if (grade.look) out["look"] = *grade.look;
}

} // namespace oxel
