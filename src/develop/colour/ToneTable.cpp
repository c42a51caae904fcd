#include "develop/colour/ToneTable.h"

#include "develop/colour/FastPow.h"
#include "imaging/VectorClones.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

namespace oxel {

namespace {

constexpr size_t runLength = 256;

// Runs `curve` over the values eight at a time; the tail goes through a padded block.
template <class Curve>
[[gnu::always_inline]] inline void inBlocks(float* values, size_t count, Curve curve)
{
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        Floats8 block;
        __builtin_memcpy(&block, values + i, sizeof block);
        block = curve(block);
        __builtin_memcpy(values + i, &block, sizeof block);
    }
    if (i < count) {
        Floats8 block{};
        __builtin_memcpy(&block, values + i, (count - i) * sizeof(float));
        block = curve(block);
        __builtin_memcpy(values + i, &block, (count - i) * sizeof(float));
    }
}

// The curves as function objects that always inline: a call across the wide and the baseline
// builds would pass eight-lane vectors in two different ways.
struct DecodeSRGB {
    [[gnu::always_inline]] Floats8 operator()(Floats8 x) const
    {
        const Floats8 curve = fastPow((x + 0.055f) * (1.0f / 1.055f), 2.4f);
        return x <= 0.04045f ? x * (1.0f / 12.92f) : curve;
    }
};

struct EncodeSRGB {
    [[gnu::always_inline]] Floats8 operator()(Floats8 x) const
    {
        const Floats8 curve = 1.055f * fastPow(x, 1.0f / 2.4f) - 0.055f;
        return x <= 0.0031308f ? 12.92f * x : curve;
    }
};

struct Power {
    float exponent;
    [[gnu::always_inline]] Floats8 operator()(Floats8 x) const { return fastPow(x, exponent); }
};

OXEL_VECTOR_CLONES
void decodeSRGBByCurve(float* values, size_t count)
{
    inBlocks(values, count, DecodeSRGB{});
}

// The nearest code of `maximum` to a value, clamped to the codes.
[[gnu::always_inline]] inline uint16_t nearestCode(float value, float maximum)
{
    float scaled = value * maximum;
    scaled = scaled > 0.0f ? scaled : 0.0f;
    scaled = scaled < maximum ? scaled : maximum;
    return uint16_t(int32_t(scaled + 0.5f));
}

// Whether the value is exactly `code` as read from a bitmap, float(code) * (1 / maximum), bit for
// bit (so -0 and NaN are not).
[[gnu::always_inline]] inline uint32_t offGrid(float value, uint16_t code, float maximum)
{
    return std::bit_cast<uint32_t>(value) ^ std::bit_cast<uint32_t>(float(code) * (1.0f / maximum));
}

// Whether every value is exactly a code of `maximum`; the codes go to `codes`.
OXEL_VECTOR_CLONES
bool readCodes(const float* values, size_t count, float maximum, uint16_t* codes)
{
    uint32_t off = 0;
    for (size_t i = 0; i < count; ++i) {
        codes[i] = nearestCode(values[i], maximum);
        off |= offGrid(values[i], codes[i], maximum);
    }
    return off == 0;
}

// The decoded value of every code of `maximum`, by the curve itself, so that looking a code up
// gives the same bits as computing it.
std::vector<float> decodedCodes(float maximum)
{
    std::vector<float> table(size_t(maximum) + 1);
    for (size_t code = 0; code < table.size(); ++code) table[code] = float(code) * (1.0f / maximum);
    decodeSRGBByCurve(table.data(), table.size());
    return table;
}

const std::vector<float>& decodedCodes8()
{
    static const std::vector<float> table = decodedCodes(255.0f);
    return table;
}

const std::vector<float>& decodedCodes16()
{
    static const std::vector<float> table = decodedCodes(65535.0f);
    return table;
}

bool decodeByTable(float* values, size_t count, float maximum, const std::vector<float>& table)
{
    // Runs of computed values are off the grid from their first value on.
    if (count == 0 || offGrid(values[0], nearestCode(values[0], maximum), maximum) != 0) return false;
    uint16_t codes[runLength];
    if (!readCodes(values, count, maximum, codes)) return false;
    for (size_t i = 0; i < count; ++i) values[i] = table[codes[i]];
    return true;
}

// Samples read from 8- and 16-bit bitmaps look their curve value up; any other run takes the curve.
void decodeSRGB(float* values, size_t count)
{
    for (size_t start = 0; start < count; start += runLength) {
        float* run = values + start;
        const size_t n = std::min(runLength, count - start);
        if (!decodeByTable(run, n, 255.0f, decodedCodes8()) && !decodeByTable(run, n, 65535.0f, decodedCodes16()))
            decodeSRGBByCurve(run, n);
    }
}

OXEL_VECTOR_CLONES
void encodeSRGB(float* values, size_t count)
{
    inBlocks(values, count, EncodeSRGB{});
}

OXEL_VECTOR_CLONES
void power(float* values, size_t count, float exponent)
{
    inBlocks(values, count, Power{exponent});
}

} // namespace

std::shared_ptr<const ToneTable> ToneTable::of(Direction direction, bool sRGB, double gamma)
{
    static std::mutex mutex;
    static std::map<std::tuple<Direction, bool, double>, std::weak_ptr<const ToneTable>> tables;

    const auto key = std::make_tuple(direction, sRGB, sRGB ? 0.0 : gamma);
    std::lock_guard lock(mutex);
    if (auto table = tables[key].lock()) return table;
    std::erase_if(tables, [](const auto& entry) { return entry.second.expired(); });
    auto table = std::make_shared<const ToneTable>(direction, sRGB, gamma);
    tables[key] = table;
    return table;
}

ToneTable::ToneTable(Direction direction, bool sRGB, double gamma)
    : direction_(direction), sRGB_(sRGB), gamma_(gamma), segments_(sampleCount)
{
    const auto sample = [this](uint32_t key) {
        return exact(double(std::bit_cast<float>((key + firstKey) << fractionBits)));
    };
    double start = sample(0);
    for (uint32_t key = 0; key < sampleCount; ++key) {
        const double end = sample(key + 1);
        segments_[key] = {float(start), float(end - start)};
        start = end;
    }
}

void ToneTable::apply(float* values, size_t count) const
{
    if (!sRGB_)
        power(values, count, float(direction_ == Direction::decode ? gamma_ : 1.0 / gamma_));
    else if (direction_ == Direction::decode)
        decodeSRGB(values, count);
    else
        encodeSRGB(values, count);
}

double ToneTable::exact(double x) const
{
    // A sample that is not a number comes out black instead of spreading through the picture.
    if (std::isnan(x)) return 0.0;
    // The sRGB curve's linear part uses the value itself, so a negative input stays negative
    // there; elsewhere negatives count as 0.
    const double positive = std::max(x, 0.0);
    if (direction_ == Direction::decode) {
        if (!sRGB_) return std::pow(positive, gamma_);
        return x <= 0.04045 ? x / 12.92 : std::pow((positive + 0.055) / 1.055, 2.4);
    }
    if (!sRGB_) return std::pow(positive, 1.0 / gamma_);
    return x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(positive, 1.0 / 2.4) - 0.055;
}

} // namespace oxel
