#include "support/HostileFiles.h"

#include "develop/codecs/ByteIO.h"

#include <algorithm>

namespace oxel::test {

namespace {

// Entropy-coded bits, most significant first, with a zero stuffed after every 0xFF and the last
// byte padded with ones.
class BitWriter {
public:
    void bits(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            current_ = uint8_t(current_ << 1 | ((value >> i) & 1));
            if (++filled_ == 8) flush();
        }
    }
    std::vector<uint8_t> finish()
    {
        while (filled_ != 0) bits(1, 1);
        return std::move(bytes_);
    }

private:
    void flush()
    {
        bytes_.push_back(current_);
        if (current_ == 0xFF) bytes_.push_back(0);
        current_ = 0;
        filled_ = 0;
    }
    std::vector<uint8_t> bytes_;
    uint8_t current_ = 0;
    int filled_ = 0;
};

void segment(ByteWriter& out, uint8_t marker, const std::vector<uint8_t>& payload)
{
    out.u8(0xFF);
    out.u8(marker);
    out.u16be(uint16_t(payload.size() + 2));
    out.append(payload.data(), payload.size());
}

// Huffman tables of one code each: DC difference category 0, and the longest end-of-band run.
constexpr uint8_t dcZero = 0x00;
constexpr uint8_t endOfBands14 = 0xE0;
constexpr uint32_t longestRun = 32767;

std::vector<uint8_t> oneCodeTable(int tableClass, uint8_t symbol)
{
    // Class and number, the count of codes of each length 1 to 16, the symbols.
    std::vector<uint8_t> table(18, 0);
    table[0] = uint8_t(tableClass << 4);
    table[1] = 1;
    table[17] = symbol;
    return table;
}

} // namespace

std::vector<uint8_t> flatProgressiveJPEG(int width, int height, int components, int acScansPerComponent)
{
    ByteWriter out;
    out.u16be(0xFFD8);
    std::vector<uint8_t> quantisation{0};
    quantisation.resize(65, 1);
    segment(out, 0xDB, quantisation);
    std::vector<uint8_t> frame{
        8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width), uint8_t(components)};
    for (int c = 0; c < components; ++c) frame.insert(frame.end(), {uint8_t(c + 1), 0x11, 0});
    segment(out, 0xC2, frame);
    std::vector<uint8_t> tables = oneCodeTable(0, dcZero);
    const auto ac = oneCodeTable(1, endOfBands14);
    tables.insert(tables.end(), ac.begin(), ac.end());
    segment(out, 0xC4, tables);

    const uint64_t blocks = uint64_t((width + 7) / 8) * uint64_t((height + 7) / 8);
    std::vector<uint8_t> dcScan{uint8_t(components)};
    for (int c = 0; c < components; ++c) dcScan.insert(dcScan.end(), {uint8_t(c + 1), 0x00});
    dcScan.insert(dcScan.end(), {0, 0, 0});
    segment(out, 0xDA, dcScan);
    BitWriter dc;
    for (uint64_t i = 0; i < blocks * uint64_t(components); ++i) dc.bits(0, 1);
    const auto dcBits = dc.finish();
    out.append(dcBits.data(), dcBits.size());

    BitWriter runs;
    for (uint64_t covered = 0; covered < blocks; covered += longestRun) runs.bits(0, 1), runs.bits(0x3FFF, 14);
    const auto acBits = runs.finish();
    for (int round = 0; round < acScansPerComponent; ++round)
        for (int c = 0; c < components; ++c) {
            segment(out, 0xDA, {1, uint8_t(c + 1), 0x00, 1, 63, 0});
            out.append(acBits.data(), acBits.size());
        }
    out.u16be(0xFFD9);
    return out.take();
}

std::vector<uint8_t> sharedStripTIFF(int width, int height, int samplesPerPixel, int bits)
{
    const uint32_t rowBytes = uint32_t(width) * uint32_t(samplesPerPixel) * uint32_t(bits / 8);
    struct Entry {
        uint16_t tag, type;
        uint32_t count, value;
    };
    constexpr uint16_t shortType = 3, longType = 4;
    const uint16_t entries = 11;
    const uint32_t directory = 8, directoryBytes = 2 + entries * 12 + 4;
    const uint32_t bitsAt = directory + directoryBytes;
    const uint32_t offsetsAt = bitsAt + 2 * uint32_t(samplesPerPixel);
    const uint32_t countsAt = offsetsAt + 4 * uint32_t(height);
    const uint32_t rowAt = countsAt + 4 * uint32_t(height);
    const uint16_t photometric = samplesPerPixel >= 3 ? 2 : 1;
    const std::vector<Entry> table{
        {256, longType, 1, uint32_t(width)},
        {257, longType, 1, uint32_t(height)},
        {258, shortType, uint32_t(samplesPerPixel), samplesPerPixel == 1 ? uint32_t(bits) : bitsAt},
        {259, shortType, 1, 1},
        {262, shortType, 1, photometric},
        {273, longType, uint32_t(height), height == 1 ? rowAt : offsetsAt},
        {277, shortType, 1, uint32_t(samplesPerPixel)},
        {278, longType, 1, 1},
        {279, longType, uint32_t(height), height == 1 ? rowBytes : countsAt},
        {284, shortType, 1, 1},
        {339, shortType, 1, bits == 32 ? 3u : 1u},
    };
    ByteWriter out;
    out.append("II*\0", 4);
    out.u32le(directory);
    out.u16le(entries);
    for (const Entry& e : table) {
        out.u16le(e.tag);
        out.u16le(e.type);
        out.u32le(e.count);
        if (e.type == shortType && e.count == 1)
            out.u16le(uint16_t(e.value)), out.u16le(0);
        else
            out.u32le(e.value);
    }
    out.u32le(0);
    for (int s = 0; s < samplesPerPixel; ++s) out.u16le(uint16_t(bits));
    for (int y = 0; y < height; ++y) out.u32le(rowAt);
    for (int y = 0; y < height; ++y) out.u32le(rowBytes);
    std::vector<uint8_t> bytes = out.take();
    bytes.resize(bytes.size() + rowBytes, 0x40);
    // Padded as a hostile file would be, to look large enough for the size it claims to a reader
    // that bounds the compression ratio alone.
    const uint64_t claimed = uint64_t(rowBytes) * uint64_t(height);
    bytes.resize(std::max<size_t>(bytes.size(), size_t(claimed / 4000)), 0);
    return bytes;
}

} // namespace oxel::test
