#include "develop/segment/AreaAverage.h"

#include <algorithm>
#include <cmath>

namespace oxel::segment {
namespace {

// Which source pixels a cell covers along one axis, and how much of each.
struct Cover {
    int64_t first = 0;
    std::vector<float> weights;
};

std::vector<Cover> covers(int64_t sourceSize, int cells)
{
    std::vector<Cover> out(static_cast<size_t>(cells));
    const double step = double(sourceSize) / cells;
    for (int c = 0; c < cells; ++c) {
        const double start = c * step, end = (c + 1) * step;
        Cover& cover = out[size_t(c)];
        cover.first = std::min(int64_t(std::floor(start)), sourceSize - 1);
        for (int64_t p = cover.first; p < sourceSize && double(p) < end; ++p) {
            const double overlap = std::min(end, double(p + 1)) - std::max(start, double(p));
            cover.weights.push_back(float(std::max(overlap, 0.0) / step));
        }
    }
    return out;
}

} // namespace

std::vector<float> areaAverageRGB(const Bitmap& picture, int width, int height)
{
    const auto format = picture.format();
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0 || width <= 0 || height <= 0 ||
        (format != PixelFormat::RGBA8 && format != PixelFormat::RGBX8))
        return {};
    const std::vector<Cover> columns = covers(picture.width(), width), rows = covers(picture.height(), height);
    // Columns first: each source row becomes `width` cells, then rows are mixed.
    std::vector<float> narrowed(size_t(picture.height()) * size_t(width) * 3, 0.0f);
    for (int64_t y = 0; y < picture.height(); ++y) {
        const uint8_t* row = picture.row(y);
        float* out = narrowed.data() + size_t(y) * size_t(width) * 3;
        for (int x = 0; x < width; ++x) {
            const Cover& cover = columns[size_t(x)];
            for (size_t i = 0; i < cover.weights.size(); ++i) {
                const uint8_t* p = row + size_t(cover.first + int64_t(i)) * 4;
                for (int k = 0; k < 3; ++k) out[x * 3 + k] += cover.weights[i] * float(p[k]);
            }
        }
    }
    std::vector<float> cells(size_t(width) * size_t(height) * 3, 0.0f);
    for (int y = 0; y < height; ++y) {
        const Cover& cover = rows[size_t(y)];
        float* out = cells.data() + size_t(y) * size_t(width) * 3;
        for (size_t i = 0; i < cover.weights.size(); ++i) {
            const float* in = narrowed.data() + size_t(cover.first + int64_t(i)) * size_t(width) * 3;
            for (size_t k = 0; k < size_t(width) * 3; ++k) out[k] += cover.weights[i] * in[k];
        }
    }
    for (float& v : cells) v /= 255.0f;
    return cells;
}

} // namespace oxel::segment
