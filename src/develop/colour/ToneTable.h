#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace oxel {

// One channel's tone curve, decoding (encoded value to linear light) or encoding, sampled finely
// enough that linear interpolation between samples stays within 1e-5 relative of the formula for
// exponents up to 3. The samples are indexed by the bits of the float itself: 256 a power of two,
// from 2^-32 to 4, so the relative spacing, and the error, is the same at every brightness.
// Values outside that range (zero, negatives, NaN, large overs) take the formula.
class ToneTable {
public:
    enum class Direction { decode, encode };

    // The shared table of a curve, made on first use; tables live while a recipe holds them.
    static std::shared_ptr<const ToneTable> of(Direction direction, bool sRGB, double gamma);

    ToneTable(Direction direction, bool sRGB, double gamma);

    float operator()(float x) const
    {
        const uint32_t bits = std::bit_cast<uint32_t>(x);
        const uint32_t key = (bits >> fractionBits) - firstKey; // wraps for negatives and tiny values
        if (key >= sampleCount) [[unlikely]]
            return float(exact(x));
        const float t = float(bits & fractionMask) * (1.0f / float(fractionMask + 1));
        const Segment& segment = segments_[key];
        return segment.start + t * segment.rise;
    }

    // Applies the curve to `count` values in place, eight at a time with fast powers (within 1e-6
    // relative of the formula), for whole runs of pixels.
    void apply(float* values, size_t count) const;

    // The curve's formula, in double.
    double exact(double x) const;

private:
    static constexpr int fractionBits = 15;
    static constexpr uint32_t fractionMask = (1u << fractionBits) - 1;
    static constexpr uint32_t firstKey = 0x2f800000u >> fractionBits; // 2^-32
    static constexpr uint32_t lastKey = 0x40800000u >> fractionBits;  // 4.0
    static constexpr uint32_t sampleCount = lastKey - firstKey;

    Direction direction_;
    bool sRGB_;
    double gamma_;
    // Each segment's value at its start and the rise to the next segment's start.
    struct Segment {
        float start;
        float rise;
    };
    std::vector<Segment> segments_;
};

} // namespace oxel
