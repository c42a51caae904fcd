#include "develop/SourceImage.h"
#include "develop/codecs/ByteIO.h"

#include <ctime>

namespace oxel {

namespace {

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// "yyyy:MM:dd HH:mm:ss" exactly, every field in its range, as local wall-clock time.
std::optional<std::chrono::system_clock::time_point> parseExifDate(std::string_view text)
{
    // Writers pad the fixed-size field with NULs or blanks.
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.remove_suffix(1);
    if (text.size() != 19) return std::nullopt;
    static constexpr std::string_view shape = "dddd:dd:dd dd:dd:dd";
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return std::nullopt;
    }
    const auto number = [&](size_t at, size_t length) {
        int value = 0;
        for (size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) return std::nullopt;
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&local);
    if (seconds == std::time_t(-1) && !(year == 1969 || year == 1970)) return std::nullopt;
    return std::chrono::system_clock::from_time_t(seconds);
}

bool isASCII(std::span<const uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b < 0x80; });
}

// UTF-16 big-endian to UTF-8; nothing for unpaired surrogates or an odd length.
std::optional<std::string> utf16BigEndian(std::span<const uint8_t> bytes)
{
    if (bytes.size() % 2) return std::nullopt;
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint32_t unit = uint32_t(bytes[i]) << 8 | bytes[i + 1];
        if (unit >= 0xDC00 && unit <= 0xDFFF) return std::nullopt;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 3 >= bytes.size()) return std::nullopt;
            const uint32_t low = uint32_t(bytes[i + 2]) << 8 | bytes[i + 3];
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (unit < 0x80) {
            out += char(unit);
        } else if (unit < 0x800) {
            out += char(0xC0 | unit >> 6);
            out += char(0x80 | (unit & 0x3F));
        } else if (unit < 0x10000) {
            out += char(0xE0 | unit >> 12);
            out += char(0x80 | (unit >> 6 & 0x3F));
            out += char(0x80 | (unit & 0x3F));
        } else {
            out += char(0xF0 | unit >> 18);
            out += char(0x80 | (unit >> 12 & 0x3F));
            out += char(0x80 | (unit >> 6 & 0x3F));
            out += char(0x80 | (unit & 0x3F));
        }
    }
    return out;
}

// Blanks and tabs go from both ends; so do the terminating NULs some writers put in.
std::string trimmedBlanks(std::string text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\0'; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    size_t start = 0;
    while (start < text.size() && blank(text[start])) ++start;
    return text.substr(start);
}

// A big-endian number that reads as 0 when its four bytes are not all inside the data.
uint32_t numberAt(std::span<const uint8_t> data, uint64_t at)
{
    ByteReader in(data);
    if (!in.seek(size_t(std::min<uint64_t>(at, data.size())))) return 0;
    return in.u32be().value_or(0);
}

std::string tagType(std::span<const uint8_t> data, uint64_t at)
{
    if (at + 4 > data.size()) return {};
    return {reinterpret_cast<const char*>(data.data() + at), 4};
}

} // namespace

std::optional<std::chrono::system_clock::time_point> SourceImage::captureDate(const Metadata& properties)
{
    for (const char* key : {"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime"}) {
        const auto text = properties.text(key);
        if (!text) continue;
        if (auto date = parseExifDate(*text)) return date;
    }
    return std::nullopt;
}

std::optional<std::chrono::system_clock::time_point> SourceImage::captureDate() const
{
    return captureDate(properties);
}

std::string SourceImage::profileLabel() const
{
    if (profileFellBack) return "no rgb profile · treated as sRGB";
    static const std::pair<const char*, const char*> labels[] = {
        {ColourSpace::sRGBName, "sRGB"},
        {ColourSpace::displayP3Name, "Display P3"},
        {ColourSpace::adobeRGBName, "Adobe RGB"},
        {ColourSpace::proPhotoRGBName, "ProPhoto RGB"},
    };
    for (const auto& [name, label] : labels)
        if (colorSpace.name == name) return label;
    if (!colorSpace.icc.empty())
        if (auto description = iccDescription(colorSpace.icc)) return *description;
    return "embedded profile";
}

std::optional<std::string> SourceImage::iccDescription(std::span<const uint8_t> icc)
{
    if (icc.size() <= 132) return std::nullopt;
    const uint32_t count = numberAt(icc, 128);
    if (count == 0 || count >= 512) return std::nullopt;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t entry = 132 + uint64_t(i) * 12;
        if (entry + 12 > icc.size()) return std::nullopt;
        if (tagType(icc, entry) != "desc") continue;
        const uint64_t offset = numberAt(icc, entry + 4), size = numberAt(icc, entry + 8);
        if (size < 9 || offset + size > icc.size()) return std::nullopt;
        const std::string type = tagType(icc, offset);
        std::optional<std::string> text;
        if (type == "desc") {
            const uint64_t length = numberAt(icc, offset + 8);
            if (length <= 1 || offset + 12 + length > icc.size()) return std::nullopt;
            const auto bytes = icc.subspan(size_t(offset + 12), size_t(length - 1));
            if (!isASCII(bytes)) return std::nullopt;
            text = std::string(bytes.begin(), bytes.end());
        } else if (type == "mluc") {
            if (numberAt(icc, offset + 8) < 1) return std::nullopt;
            const uint64_t length = numberAt(icc, offset + 20), start = numberAt(icc, offset + 24);
            if (offset + start + length > icc.size()) return std::nullopt;
            text = utf16BigEndian(icc.subspan(size_t(offset + start), size_t(length)));
        }
        if (!text) return std::nullopt;
        return trimmedBlanks(*text);
    }
    return std::nullopt;
}

} // namespace oxel
