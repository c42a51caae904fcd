#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// A 128-bit identity of a batch or an image. Written as the canonical 36 characters with upper-case
// hexadecimal digits ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"), read in either case.
class Uuid {
public:
    using Bytes = std::array<uint8_t, 16>;

    // A random (version 4) identity from the cryptographic generator.
    static Uuid random();

    // Exactly 36 characters: hexadecimal digits in groups of 8-4-4-4-12 joined by hyphens.
    static std::optional<Uuid> parse(std::string_view text);

    // The nil identity, all zeros; records fill in a real one.
    Uuid() : bytes_{} {}
    explicit Uuid(const Bytes& bytes) : bytes_(bytes) {}

    std::string text() const;
    const Bytes& bytes() const { return bytes_; }

    auto operator<=>(const Uuid&) const = default;

private:
    Bytes bytes_;
};

} // namespace oxel

template <>
struct std::hash<oxel::Uuid> {
    size_t operator()(const oxel::Uuid& uuid) const noexcept
    {
        size_t value = 0;
        for (uint8_t byte : uuid.bytes()) value = value * 131 + byte;
        return value;
    }
};
