#include "platform/Uuid.h"

#include <openssl/rand.h>

#include <random>

namespace oxel {
namespace {

constexpr size_t textLength = 36;

bool isHyphenPosition(size_t at)
{
    return at == 8 || at == 13 || at == 18 || at == 23;
}

std::optional<uint8_t> hexValue(char c)
{
    if (c >= '0' && c <= '9') return uint8_t(c - '0');
    if (c >= 'A' && c <= 'F') return uint8_t(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return uint8_t(c - 'a' + 10);
    return std::nullopt;
}

} // namespace

Uuid Uuid::random()
{
    Bytes bytes;
    if (RAND_bytes(bytes.data(), int(bytes.size())) != 1) {
        // The system's own generator still gives unpredictable bytes when OpenSSL cannot.
        std::random_device device;
        for (uint8_t& byte : bytes) byte = uint8_t(device());
    }
    bytes[6] = uint8_t((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = uint8_t((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return Uuid(bytes);
}

std::optional<Uuid> Uuid::parse(std::string_view text)
{
    if (text.size() != textLength) return std::nullopt;
    Bytes bytes{};
    size_t digit = 0;
    for (size_t at = 0; at < textLength; ++at) {
        if (isHyphenPosition(at)) {
            if (text[at] != '-') return std::nullopt;
            continue;
        }
        auto value = hexValue(text[at]);
        if (!value) return std::nullopt;
        bytes[digit / 2] = uint8_t(bytes[digit / 2] << 4 | *value);
        ++digit;
    }
    return Uuid(bytes);
}

std::string Uuid::text() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(textLength);
    for (size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(digits[bytes_[i] >> 4]);
        text.push_back(digits[bytes_[i] & 0x0F]);
    }
    return text;
}

} // namespace oxel
