#include "ToneTable.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

namespace oxel {

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
    const auto sample = [this](uint32_t key) { return exact(double(std::bit_cast<float>((key + firstKey) << fractionBits))); };
    double start = sample(0);
    for (uint32_t key = 0; key < sampleCount; ++key) {
        const double end = sample(key + 1);
        segments_[key] = {float(start), float(end - start)};
        start = end;
    }
}

double ToneTable::exact(double x) const
{
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
