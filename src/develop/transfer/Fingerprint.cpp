#include "develop/transfer/Fingerprint.h"

#include "develop/transfer/TransferContext.h"
#include "imaging/Filters.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace oxel {

namespace {

constexpr int last = Fingerprint::side - 1;
constexpr std::array<float, 5> smoothingTaps{0.0625f, 0.25f, 0.375f, 0.25f, 0.0625f};
constexpr float varianceFloor = 1e-6f;

float& at(std::vector<float>& grid, int row, int column)
{
    return grid[size_t(row) * Fingerprint::side + column];
}
float at(const std::vector<float>& grid, int row, int column)
{
    return grid[size_t(row) * Fingerprint::side + column];
}

// A Lanczos shrink from thousands of pixels straight to 64 renders as one tile on one core. An
// area-averaged copy at four times the grid's size first spreads that work over every core, and
// changes the grid far less than the scene test can notice.
Image gridSource(const Image& atOrigin, const Rect& extent)
{
    constexpr double copySide = 4.0 * Fingerprint::side;
    if (extent.width <= 2 * copySide && extent.height <= 2 * copySide) return atOrigin;
    const Image copy = atOrigin.scaled(copySide / extent.width, copySide / extent.height);
    return materialised(copy, makeShrinkingContext());
}

Image scaledToGrid(const Image& image, double sx, double sy)
{
    const Image scaled = lanczosScaleTransform(image.clampedToExtent(), sy, sx / sy);
    return scaled.cropped(Rect::ofSize(Fingerprint::side, Fingerprint::side));
}

std::vector<float> smoothedGrid(const std::vector<float>& grid)
{
    std::vector<float> across(Fingerprint::cells), down(Fingerprint::cells);
    for (int r = 0; r <= last; ++r)
        for (int c = 0; c <= last; ++c) {
            float sum = 0;
            for (int k = 0; k < 5; ++k) sum += smoothingTaps[k] * at(grid, r, std::clamp(c + k - 2, 0, last));
            at(across, r, c) = sum;
        }
    for (int r = 0; r <= last; ++r)
        for (int c = 0; c <= last; ++c) {
            float sum = 0;
            for (int k = 0; k < 5; ++k) sum += smoothingTaps[k] * at(across, std::clamp(r + k - 2, 0, last), c);
            at(down, r, c) = sum;
        }
    return down;
}

// Resampling a uniform picture leaves the grid a few float steps uneven, and the edge grid's
// square roots lift that to edges of about 1e-4 that correlate at random, enough to pass a
// blank render as the same scene. A grid spanning under a quarter of a 16-bit step is uniform.
void flattenIfUniform(std::vector<float>& grid)
{
    const auto [low, high] = std::minmax_element(grid.begin(), grid.end());
    const float magnitude = std::max({1.0f, std::fabs(*low), std::fabs(*high)});
    if (!(*high - *low <= 4e-6f * magnitude)) return;
    double sum = 0;
    for (float v : grid) sum += v;
    std::fill(grid.begin(), grid.end(), float(sum / double(grid.size())));
}

// The value at row r, column c moves to row c, column 63 - r.
std::vector<float> quarterTurned(const std::vector<float>& grid)
{
    std::vector<float> turned(Fingerprint::cells);
    for (int r = 0; r <= last; ++r)
        for (int c = 0; c <= last; ++c) at(turned, c, last - r) = at(grid, r, c);
    return turned;
}

} // namespace

std::optional<std::vector<float>> Fingerprint::make(const Image& image, const RenderContext& context)
{
    if (image.isNull()) return std::nullopt;
    const Rect extent = image.extent();
    if (!(extent.width > 0) || !(extent.height > 0) || !std::isfinite(extent.width) || !std::isfinite(extent.height) ||
        !std::isfinite(extent.x) || !std::isfinite(extent.y))
        return std::nullopt;
    const Image source = gridSource(image.translated(-extent.x, -extent.y), extent);
    const Rect sourceExtent = source.extent();
    const Image grid = scaledToGrid(source, side / sourceExtent.width, side / sourceExtent.height);

    std::vector<RGB> pixels(cells);
    context.render(grid, PixelRect{0, 0, side, side}, pixels.data(), side);
    std::vector<float> luminance(cells);
    for (size_t i = 0; i < cells; ++i) {
        const RGB p = pixels[i];
        if (!std::isfinite(p.r) || !std::isfinite(p.g) || !std::isfinite(p.b)) return std::nullopt;
        luminance[i] = 0.299f * p.r + 0.587f * p.g + 0.114f * p.b;
    }
    flattenIfUniform(luminance);
    return luminance;
}

std::vector<float> Fingerprint::smoothed(const std::vector<float>& grid)
{
    if (grid.size() != cells) return {};
    const std::vector<float> b = smoothedGrid(grid);
    std::vector<float> edges(cells);
    for (int r = 0; r <= last; ++r)
        for (int c = 0; c <= last; ++c) {
            const float gx = (at(b, r, std::min(c + 1, last)) - at(b, r, std::max(c - 1, 0))) * 0.5f;
            const float gy = (at(b, std::min(r + 1, last), c) - at(b, std::max(r - 1, 0), c)) * 0.5f;
            at(edges, r, c) = std::sqrt(std::sqrt(gx * gx + gy * gy));
        }
    return edges;
}

std::optional<float> Fingerprint::correlation(const std::vector<float>& a, const std::vector<float>& b)
{
    const size_t n = a.size();
    if (n == 0 || b.size() != n) return std::nullopt;
    float sumA = 0, sumB = 0;
    for (size_t i = 0; i < n; ++i) {
        sumA += a[i];
        sumB += b[i];
    }
    const float meanA = sumA / float(n), meanB = sumB / float(n);
    float cov = 0, varA = 0, varB = 0;
    for (size_t i = 0; i < n; ++i) {
        const float da = a[i] - meanA, db = b[i] - meanB;
        cov += da * db;
        varA += da * da;
        varB += db * db;
    }
    if (!(varA > varianceFloor && varB > varianceFloor)) return std::nullopt;
    return cov / std::sqrt(varA * varB);
}

std::vector<float> Fingerprint::correlations(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != cells || b.size() != cells) return {failed, failed, failed, failed};
    std::vector<float> result;
    std::vector<float> turned = b;
    for (int turn = 0; turn < 4; ++turn) {
        result.push_back(correlation(a, turned).value_or(failed));
        turned = quarterTurned(turned);
    }
    return result;
}

} // namespace oxel
