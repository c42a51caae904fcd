#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace oxel {

// A rectangle in image space: x grows to the right, y grows downwards (top-left origin).
// Pixel (i, j) covers [i, i + 1) x [j, j + 1) and its sample sits at its centre.
// An infinite rectangle covers the whole plane.
struct Rect {
    double x = 0, y = 0, width = 0, height = 0;

    static Rect infinite()
    {
        const double inf = std::numeric_limits<double>::infinity();
        return {-inf, -inf, inf, inf};
    }
    static Rect ofSize(double width, double height) { return {0, 0, width, height}; }

    bool isInfinite() const { return std::isinf(width) || std::isinf(height); }
    bool isEmpty() const { return !(width > 0) || !(height > 0); }
    double maxX() const { return isInfinite() ? std::numeric_limits<double>::infinity() : x + width; }
    double maxY() const { return isInfinite() ? std::numeric_limits<double>::infinity() : y + height; }

    bool containsPoint(double px, double py) const
    {
        if (isInfinite()) return true;
        return px >= x && px < x + width && py >= y && py < y + height;
    }

    Rect intersection(const Rect& other) const
    {
        if (isInfinite()) return other;
        if (other.isInfinite()) return *this;
        const double x0 = std::max(x, other.x), y0 = std::max(y, other.y);
        const double x1 = std::min(maxX(), other.maxX()), y1 = std::min(maxY(), other.maxY());
        if (x1 <= x0 || y1 <= y0) return {};
        return {x0, y0, x1 - x0, y1 - y0};
    }

    Rect united(const Rect& other) const
    {
        if (isEmpty()) return other;
        if (other.isEmpty()) return *this;
        if (isInfinite() || other.isInfinite()) return infinite();
        const double x0 = std::min(x, other.x), y0 = std::min(y, other.y);
        const double x1 = std::max(maxX(), other.maxX()), y1 = std::max(maxY(), other.maxY());
        return {x0, y0, x1 - x0, y1 - y0};
    }

    Rect offsetBy(double dx, double dy) const { return isInfinite() ? *this : Rect{x + dx, y + dy, width, height}; }
    Rect insetBy(double dx, double dy) const
    {
        if (isInfinite()) return *this;
        return {x + dx, y + dy, width - 2 * dx, height - 2 * dy};
    }

    bool operator==(const Rect&) const = default;
};

// A rectangle of whole pixels, the unit in which pictures are rendered.
struct PixelRect {
    int64_t x = 0, y = 0, width = 0, height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    int64_t maxX() const { return x + width; }
    int64_t maxY() const { return y + height; }
    int64_t area() const { return isEmpty() ? 0 : width * height; }

    PixelRect intersection(const PixelRect& other) const
    {
        const int64_t x0 = std::max(x, other.x), y0 = std::max(y, other.y);
        const int64_t x1 = std::min(maxX(), other.maxX()), y1 = std::min(maxY(), other.maxY());
        if (x1 <= x0 || y1 <= y0) return {x0, y0, 0, 0};
        return {x0, y0, x1 - x0, y1 - y0};
    }

    // The pixels whose centres lie inside `rect`; clamps infinite and huge rectangles to `limit`.
    static PixelRect covering(const Rect& rect, const PixelRect& limit)
    {
        if (rect.isInfinite()) return limit;
        if (rect.isEmpty()) return {limit.x, limit.y, 0, 0};
        const auto first = [](double v) { return std::ceil(v - 0.5); };
        const double x0 = std::max<double>(first(rect.x), double(limit.x));
        const double y0 = std::max<double>(first(rect.y), double(limit.y));
        const double x1 = std::min<double>(first(rect.maxX()), double(limit.maxX()));
        const double y1 = std::min<double>(first(rect.maxY()), double(limit.maxY()));
        if (x1 <= x0 || y1 <= y0) return {limit.x, limit.y, 0, 0};
        return {int64_t(x0), int64_t(y0), int64_t(x1 - x0), int64_t(y1 - y0)};
    }

    Rect toRect() const { return {double(x), double(y), double(width), double(height)}; }
    bool operator==(const PixelRect&) const = default;
};

// The whole number of pixels a finite side of an extent stands for: the nearest, halves away from zero.
inline int64_t roundedSide(double side)
{
    return int64_t(std::round(side));
}

} // namespace oxel
