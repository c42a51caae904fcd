#pragma once

namespace oxel {

// One opaque float RGB sample. Values below 0 and above 1 are kept until a picture is quantised.
struct RGB {
    float r = 0, g = 0, b = 0;

    friend RGB operator+(RGB a, RGB b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
    friend RGB operator-(RGB a, RGB b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
    friend RGB operator*(RGB a, RGB b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
    friend RGB operator*(RGB a, float s) { return {a.r * s, a.g * s, a.b * s}; }
    friend RGB operator*(float s, RGB a) { return {a.r * s, a.g * s, a.b * s}; }
    friend RGB operator/(RGB a, float s) { return {a.r / s, a.g / s, a.b / s}; }
    RGB& operator+=(RGB o)
    {
        r += o.r;
        g += o.g;
        b += o.b;
        return *this;
    }
    bool operator==(const RGB&) const = default;
};

} // namespace oxel
