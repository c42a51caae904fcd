#include "develop/colour/ToneTable.h"

#include "develop/colour/FastPow.h"
#include "imaging/VectorClones.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

namespace oxel {

namespace {

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
void decodeSRGB(float* values, size_t count)
{
    inBlocks(values, count, DecodeSRGB{});
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
