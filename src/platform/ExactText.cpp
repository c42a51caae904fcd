#include "platform/ExactText.h"

namespace oxel {

std::string readableText(std::string_view bytes)
{
    // The JSON library's own replacement is the one the files are written with.
    const std::string quoted = Json(std::string(bytes)).dump(-1, ' ', false, Json::error_handler_t::replace);
    return Json::parse(quoted).get<std::string>();
}

std::string hexDigits(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        text += digits[uint8_t(byte) >> 4];
        text += digits[uint8_t(byte) & 15];
    }
    return text;
}

std::optional<std::string> bytesOfHexDigits(std::string_view digits)
{
    const auto value = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (digits.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    bytes.reserve(digits.size() / 2);
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int high = value(digits[i]), low = value(digits[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += char(high << 4 | low);
    }
    return bytes;
}

void putExactText(Json& object, const std::string& key, std::string_view bytes)
{
    std::string readable = readableText(bytes);
    if (readable != bytes) object[key + "Bytes"] = hexDigits(bytes);
    object[key] = std::move(readable);
}

std::optional<std::string> optionalExactText(const Json& object, const std::string& key)
{
    const auto text = optionalText(object, key.c_str());
    if (auto exact = optionalText(object, (key + "Bytes").c_str()))
        if (auto bytes = bytesOfHexDigits(*exact)) return bytes;
    return text;
}

} // namespace oxel
