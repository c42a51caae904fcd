#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

namespace oxel {

// Bounded reading of untrusted bytes: every read checks what is left first and gives nothing
// when the bytes run out, so a damaged length can never reach past the end.
class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t position() const { return position_; }
    size_t size() const { return bytes_.size(); }
    size_t remaining() const { return bytes_.size() - position_; }
    bool atEnd() const { return position_ == bytes_.size(); }

    bool seek(size_t position)
    {
        if (position > bytes_.size()) return false;
        position_ = position;
        return true;
    }
    bool skip(uint64_t count)
    {
        if (count > remaining()) return false;
        position_ += size_t(count);
        return true;
    }

    std::optional<std::span<const uint8_t>> bytes(uint64_t count)
    {
        if (count > remaining()) return std::nullopt;
        const auto out = bytes_.subspan(position_, size_t(count));
        position_ += size_t(count);
        return out;
    }

    std::optional<uint8_t> u8() { return unsignedOf<1>(true); }
    std::optional<uint16_t> u16be() { return unsignedOf<2>(true); }
    std::optional<uint32_t> u32be() { return unsignedOf<4>(true); }
    std::optional<uint64_t> u64be() { return unsignedOf<8>(true); }
    std::optional<uint16_t> u16le() { return unsignedOf<2>(false); }
    std::optional<uint32_t> u32le() { return unsignedOf<4>(false); }
    std::optional<uint64_t> u64le() { return unsignedOf<8>(false); }
    std::optional<uint16_t> u16(bool bigEndian) { return unsignedOf<2>(bigEndian); }
    std::optional<uint32_t> u32(bool bigEndian) { return unsignedOf<4>(bigEndian); }
    std::optional<uint64_t> u64(bool bigEndian) { return unsignedOf<8>(bigEndian); }

private:
    template <int N>
    auto unsignedOf(bool bigEndian) -> std::optional<std::conditional_t<
        N == 1, uint8_t, std::conditional_t<N == 2, uint16_t, std::conditional_t<N == 4, uint32_t, uint64_t>>>>
    {
        using T =
            std::conditional_t<N == 1, uint8_t,
                               std::conditional_t<N == 2, uint16_t, std::conditional_t<N == 4, uint32_t, uint64_t>>>;
        if (remaining() < N) return std::nullopt;
        T value = 0;
        for (int i = 0; i < N; ++i) {
            const T byte = bytes_[position_ + size_t(bigEndian ? i : N - 1 - i)];
            value = T((value << 8) | byte);
        }
        position_ += N;
        return value;
    }

    std::span<const uint8_t> bytes_;
    size_t position_ = 0;
};

// Appending bytes in either byte order.
class ByteWriter {
public:
    void append(const void* data, size_t size)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16be(uint16_t v) { unsignedOf(v, 2, true); }
    void u32be(uint32_t v) { unsignedOf(v, 4, true); }
    void u16le(uint16_t v) { unsignedOf(v, 2, false); }
    void u32le(uint32_t v) { unsignedOf(v, 4, false); }
    void u16(uint16_t v, bool bigEndian) { unsignedOf(v, 2, bigEndian); }
    void u32(uint32_t v, bool bigEndian) { unsignedOf(v, 4, bigEndian); }

    size_t size() const { return bytes_.size(); }
    std::vector<uint8_t>& bytes() { return bytes_; }
    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    void unsignedOf(uint64_t v, int n, bool bigEndian)
    {
        for (int i = 0; i < n; ++i) {
            const int shift = 8 * (bigEndian ? n - 1 - i : i);
            bytes_.push_back(uint8_t(v >> shift));
        }
    }

    std::vector<uint8_t> bytes_;
};

} // namespace oxel
