#include "develop/codecs/BlockAverager.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace oxel {

namespace {

template <class T>
T loaded(const uint8_t* p, bool bigEndian)
{
    using Word = std::conditional_t<sizeof(T) == 2, uint16_t, std::conditional_t<sizeof(T) == 4, uint32_t, uint8_t>>;
    Word word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (sizeof(Word) == 2)
        if (bigEndian != (std::endian::native == std::endian::big)) word = __builtin_bswap16(word);
    if constexpr (sizeof(Word) == 4)
        if (bigEndian != (std::endian::native == std::endian::big)) word = __builtin_bswap32(word);
    return std::bit_cast<T>(word);
}

} // namespace

int64_t BlockAverager::factorFor(int64_t width, int64_t height, int64_t minLongSide)
{
    if (minLongSide <= 0) return 1;
    return std::max<int64_t>(1, std::max(width, height) / minLongSide);
}

BlockAverager::BlockAverager(Samples& out, int64_t sourceWidth, int64_t sourceHeight, int64_t factor, RowLayout layout)
    : out_(out),
      sourceWidth_(sourceWidth),
      sourceHeight_(sourceHeight),
      factor_(factor),
      layout_(layout),
      sums_(size_t(out.width) * size_t(layout.channels))
{}

template <class Read>
void BlockAverager::accumulate(const uint8_t* row, Read read)
{
    const int channels = layout_.channels;
    const size_t pixelBytes = size_t(channels) * size_t(out_.bits / 8), sampleBytes = size_t(out_.bits / 8);
    double* sum = sums_.data();
    for (int64_t x0 = 0; x0 < sourceWidth_; x0 += factor_, sum += channels) {
        const int64_t x1 = std::min(sourceWidth_, x0 + factor_);
        for (const uint8_t* p = row + size_t(x0) * pixelBytes; p < row + size_t(x1) * pixelBytes; p += pixelBytes)
            for (int c = 0; c < channels; ++c) sum[c] += read(p + size_t(c) * sampleBytes);
    }
}

void BlockAverager::take(std::span<const uint8_t> row, int64_t y, int firstChannel)
{
    const bool big = layout_.bigEndian;
    if (out_.bits == 8)
        accumulate(row.data(), [](const uint8_t* p) { return double(*p); });
    else if (out_.bits == 16)
        accumulate(row.data(), [big](const uint8_t* p) { return double(loaded<uint16_t>(p, big)); });
    else
        accumulate(row.data(), [big](const uint8_t* p) { return double(loaded<float>(p, big)); });
    if (y % factor_ == factor_ - 1 || y == sourceHeight_ - 1) emit(y / factor_, firstChannel, y % factor_ + 1);
}

void BlockAverager::emit(int64_t outY, int firstChannel, int64_t rows)
{
    const int bytes = out_.bits / 8, channels = layout_.channels;
    for (int64_t x = 0; x < out_.width; ++x) {
        const int64_t columns = std::min(factor_, sourceWidth_ - x * factor_);
        for (int c = 0; c < channels; ++c) {
            const double mean = sums_[size_t(x) * channels + c] / double(rows * columns);
            uint8_t* target = out_.row(outY) + (size_t(x) * out_.channels + firstChannel + c) * bytes;
            if (out_.bits == 8) {
                *target = uint8_t(std::lround(mean));
            } else if (out_.bits == 16) {
                const auto value = uint16_t(std::lround(mean));
                std::memcpy(target, &value, 2);
            } else {
                const auto value = float(mean);
                std::memcpy(target, &value, 4);
            }
        }
    }
    std::fill(sums_.begin(), sums_.end(), 0.0);
}

std::optional<Samples> BlockAverager::reduced(const Samples& whole, int64_t factor)
{
    if (factor <= 1) return whole;
    auto out = Samples::allocate(reducedSide(whole.width, factor), reducedSide(whole.height, factor), whole.channels,
                                 whole.bits, whole.model, whole.hasAlpha);
    if (!out) return std::nullopt;
    BlockAverager averager(*out, whole.width, whole.height, factor, {whole.channels, false});
    for (int64_t y = 0; y < whole.height; ++y) averager.take({whole.row(y), whole.rowBytes()}, y);
    return out;
}

} // namespace oxel
