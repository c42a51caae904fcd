#include "export/PSDReader.h"

#include <zlib.h>

#include <array>
#include <cstring>
#include <limits>
#include <memory>

namespace oxel::PSDReader {

bool MemorySource::read(uint64_t offset, void* out, size_t count) const
{
    if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
    if (count > 0) std::memcpy(out, bytes_.data() + offset, count);
    return true;
}

namespace {

struct BadFile {};

constexpr int64_t largestSide = 300000;
// Deflate cannot expand data by more than about 1032 to 1; a stream claiming more is damaged.
constexpr uint64_t deflateMaximumRatio = 1032;

// A read position over the source; every read checks that its bytes are there.
class Reader {
public:
    explicit Reader(const Source& source) : source_(source) {}

    uint64_t offset() const { return offset_; }
    uint64_t bytesLeft() const { return offset_ < source_.size() ? source_.size() - offset_ : 0; }
    void seek(uint64_t offset) { offset_ = offset; }
    void skip(uint64_t count)
    {
        if (count > bytesLeft()) throw BadFile{};
        offset_ += count;
    }

    std::vector<uint8_t> readBytes(uint64_t count)
    {
        if (count > bytesLeft()) throw BadFile{};
        std::vector<uint8_t> bytes(static_cast<size_t>(count));
        if (!source_.read(offset_, bytes.data(), size_t(count))) throw BadFile{};
        offset_ += count;
        return bytes;
    }
    uint64_t readInteger(int byteCount)
    {
        std::array<uint8_t, 8> bytes{};
        if (uint64_t(byteCount) > bytesLeft() || !source_.read(offset_, bytes.data(), size_t(byteCount)))
            throw BadFile{};
        offset_ += uint64_t(byteCount);
        uint64_t value = 0;
        for (int i = 0; i < byteCount; ++i) value = value << 8 | bytes[size_t(i)];
        return value;
    }
    uint16_t readU16() { return uint16_t(readInteger(2)); }
    uint32_t readU32() { return uint32_t(readInteger(4)); }
    uint64_t readLength(bool psb) { return readInteger(psb ? 8 : 4); }
    std::string readString(uint64_t count)
    {
        const auto bytes = readBytes(count);
        return std::string(bytes.begin(), bytes.end());
    }
    bool matches(std::string_view expected) { return readString(expected.size()) == expected; }
    // The end of a run of `length` bytes from here, which must lie inside the file.
    uint64_t endOf(uint64_t length)
    {
        if (length > bytesLeft()) throw BadFile{};
        return offset_ + length;
    }

private:
    const Source& source_;
    uint64_t offset_ = 0;
};

struct LayerData {
    uint64_t offset = 0;
    bool psb = false;
    std::vector<uint8_t> icc;
};

bool hasWideLength(std::string_view key)
{
    static constexpr std::array<std::string_view, 13> keys = {"LMsk", "Lr16", "Lr32", "Layr", "Mt16", "Mt32", "Mtrn",
                                                              "Alph", "FMsk", "lnk2", "FEid", "FXid", "PxSD"};
    for (auto wide : keys)
        if (wide == key) return true;
    return false;
}

void checkCanvas(uint64_t width, uint64_t height)
{
    if (width < 1 || height < 1 || width > uint64_t(largestSide) || height > uint64_t(largestSide)) throw BadFile{};
}

LayerData parsePSD(Reader& in)
{
    in.seek(0);
    if (!in.matches("8BPS")) throw BadFile{};
    const uint16_t version = in.readU16();
    if (version != 1 && version != 2) throw BadFile{};
    LayerData found{0, version == 2, {}};
    in.skip(6);
    in.readU16();
    const uint32_t height = in.readU32();
    const uint32_t width = in.readU32();
    checkCanvas(width, height);
    if (in.readU16() != 16 || in.readU16() != 3) throw BadFile{};
    in.skip(in.readU32());

    const uint64_t resourcesEnd = in.endOf(in.readU32());
    while (in.offset() + 12 <= resourcesEnd) {
        if (!in.matches("8BIM")) break;
        const uint16_t id = in.readU16();
        const uint8_t nameLength = uint8_t(in.readInteger(1));
        in.skip(nameLength + (nameLength % 2 == 0 ? 1 : 0));
        const uint32_t size = in.readU32();
        if (id == 1039)
            found.icc = in.readBytes(size);
        else
            in.skip(size);
        if (size % 2 == 1) in.skip(1);
    }
    in.seek(resourcesEnd);

    const uint64_t sectionEnd = in.endOf(in.readLength(found.psb));
    in.skip(in.readLength(found.psb));
    in.skip(in.readU32());
    while (in.offset() + 12 <= sectionEnd) {
        const std::string signature = in.readString(4);
        if (signature != "8BIM" && signature != "8B64") throw BadFile{};
        const std::string key = in.readString(4);
        const uint64_t length = in.readLength(found.psb && hasWideLength(key));
        if (key == "Lr16") {
            in.endOf(length);
            found.offset = in.offset();
            return found;
        }
        in.skip(length);
    }
    throw BadFile{};
}

LayerData parseTIFF(Reader& in)
{
    in.seek(0);
    const auto order = in.readBytes(4);
    if (order != std::vector<uint8_t>{'M', 'M', 0, 42}) throw BadFile{};
    in.seek(in.readU32());
    std::optional<std::pair<uint32_t, uint32_t>> block, profile;
    for (uint16_t entries = in.readU16(); entries > 0; --entries) {
        const uint16_t tag = in.readU16();
        in.readU16();
        const uint32_t count = in.readU32();
        const uint32_t value = in.readU32();
        if (tag == 37724) block = {{count, value}};
        if (tag == 34675) profile = {{count, value}};
    }
    if (!block) throw BadFile{};
    LayerData found;
    if (profile) {
        in.seek(profile->second);
        found.icc = in.readBytes(profile->first);
    }
    in.seek(block->second);
    if (!in.matches("Adobe Photoshop Document Data Block") || in.readInteger(1) != 0) throw BadFile{};
    if (!in.matches("8BIM") || !in.matches("Lr16")) throw BadFile{};
    in.readU32();
    found.offset = in.offset();
    return found;
}

struct Record {
    int64_t width = 0;
    int64_t height = 0;
    std::vector<std::pair<int16_t, uint64_t>> channels;
    std::string name;
};

Record readRecord(Reader& in, bool psb)
{
    Record record;
    const int64_t top = int32_t(in.readU32());
    const int64_t left = int32_t(in.readU32());
    const int64_t bottom = int32_t(in.readU32());
    const int64_t right = int32_t(in.readU32());
    record.width = right - left;
    record.height = bottom - top;
    for (uint16_t count = in.readU16(); count > 0; --count) {
        const int16_t id = int16_t(in.readU16());
        record.channels.emplace_back(id, in.readLength(psb));
    }
    if (!in.matches("8BIM")) throw BadFile{};
    in.skip(8);
    const uint64_t end = in.endOf(in.readU32());
    in.skip(in.readU32());
    in.skip(in.readU32());
    record.name = in.readString(in.readInteger(1));
    in.seek(end);
    return record;
}

// Decodes one colour channel into component `component` of the interleaved RGB samples, which
// are made on the first channel that decodes; false when the channel cannot be decoded.
bool decodeChannel(const std::vector<uint8_t>& data, uint16_t compression, int64_t width, int64_t height, int component,
                   std::vector<uint16_t>& samples)
{
    const uint64_t expected = uint64_t(width) * uint64_t(height) * 2;
    if (compression == 0) {
        if (data.size() < expected) return false;
    } else if (compression == 2 || compression == 3) {
        if (expected > uint64_t(data.size()) * deflateMaximumRatio + 64) return false;
    } else {
        return false;
    }
    const uint8_t* bytes = data.data();
    std::unique_ptr<uint8_t[]> inflated;
    if (compression != 0) {
        // Left uninitialised: only a stream that really inflates this far touches the memory.
        inflated.reset(new uint8_t[size_t(expected)]);
        uLongf produced = uLongf(expected);
        if (uncompress(inflated.get(), &produced, data.data(), uLong(data.size())) != Z_OK || produced != expected)
            return false;
        bytes = inflated.get();
    }
    if (samples.empty()) samples.resize(size_t(expected / 2) * 3);
    for (int64_t row = 0; row < height; ++row) {
        const uint8_t* in = bytes + row * width * 2;
        uint16_t* out = samples.data() + row * width * 3 + component;
        uint16_t previous = 0;
        for (int64_t x = 0; x < width; ++x, in += 2, out += 3) {
            const uint16_t value = uint16_t(in[0] << 8 | in[1]);
            previous = compression == 3 ? uint16_t(previous + value) : value;
            *out = previous;
        }
    }
    return true;
}

// The bottom layer, which must be the "original", with its interleaved samples.
Original readFirstLayer(Reader& in, const LayerData& layerData)
{
    in.seek(layerData.offset);
    const int count = std::abs(int(int16_t(in.readU16())));
    if (count == 0) throw BadFile{};
    std::vector<Record> records;
    for (int i = 0; i < count; ++i) records.push_back(readRecord(in, layerData.psb));

    const Record& record = records.front();
    if (record.name != "original" || record.width < 1 || record.height < 1) throw BadFile{};
    checkCanvas(uint64_t(record.width), uint64_t(record.height));
    Original original{record.width, record.height, {}, layerData.icc};
    std::array<bool, 3> found{};
    for (const auto& [id, length] : record.channels) {
        const uint16_t compression = in.readU16();
        if (length < 2) throw BadFile{};
        if (id < 0 || id > 2) {
            in.skip(length - 2);
            continue;
        }
        if (!decodeChannel(in.readBytes(length - 2), compression, record.width, record.height, id, original.samples))
            throw BadFile{};
        found[size_t(id)] = true;
    }
    if (!found[0] || !found[1] || !found[2]) throw BadFile{};
    return original;
}

} // namespace

std::optional<Original> readOriginal(const Source& source)
{
    try {
        Reader in(source);
        LayerData layerData;
        try {
            layerData = parsePSD(in);
        } catch (const BadFile&) {
            layerData = parseTIFF(in);
        }
        return readFirstLayer(in, layerData);
    } catch (const BadFile&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace oxel::PSDReader
