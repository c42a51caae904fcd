#include "sheets/ByteCount.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace oxel {
namespace {

struct Unit {
    const char* name;
    int decimals;
};

constexpr std::array<Unit, 6> units{{{"kb", 0}, {"mb", 1}, {"gb", 2}, {"tb", 2}, {"pb", 2}, {"eb", 2}}};

double rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

std::string withoutTrailingZeros(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string written = text;
    if (written.find('.') == std::string::npos) return written;
    while (written.back() == '0') written.pop_back();
    if (written.back() == '.') written.pop_back();
    return written;
}

} // namespace

std::string fileSizeText(int64_t bytes)
{
    if (bytes == 0) return "zero kb";
    if (bytes == 1) return "1 byte";
    if (bytes > -1000 && bytes < 1000) return std::to_string(bytes) + " bytes";
    double value = double(bytes) / 1000;
    for (size_t index = 0; index < units.size(); ++index) {
        const double shown = rounded(value, units[index].decimals);
        if (std::fabs(shown) < 1000 || index + 1 == units.size())
            return withoutTrailingZeros(shown, units[index].decimals) + " " + units[index].name;
        value /= 1000;
    }
    return {};
}

} // namespace oxel
