#pragma once

#include "imaging/Bitmap.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace oxel::testing {

// Whether two pictures have the same size, format and pixels (row padding aside).
inline bool samePixels(const Bitmap& a, const Bitmap& b)
{
    if (a.width() != b.width() || a.height() != b.height() || a.format() != b.format()) return false;
    const size_t rowLength = std::min(a.rowBytes(), b.rowBytes());
    for (int64_t y = 0; y < a.height(); ++y)
        if (std::memcmp(a.row(y), b.row(y), rowLength) != 0) return false;
    return true;
}

// A picture that could not be made is never the same as another.
inline bool samePixels(const std::optional<Bitmap>& a, const std::optional<Bitmap>& b)
{
    return a && b && samePixels(*a, *b);
}

} // namespace oxel::testing
