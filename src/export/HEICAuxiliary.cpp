#include "export/HEICAuxiliary.h"

#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace oxel {

namespace {

using Bytes = std::vector<uint8_t>;

uint64_t readBE(std::span<const uint8_t> data, size_t at, size_t size)
{
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i) value = value << 8 | data[at + i];
    return value;
}

void writeBE(uint8_t* out, uint64_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i) out[i] = uint8_t(value >> (8 * (size - 1 - i)));
}

void appendBE(Bytes& out, uint64_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i) out.push_back(uint8_t(value >> (8 * (size - 1 - i))));
}

void appendText(Bytes& out, std::string_view text)
{
    for (char c : text) out.push_back(uint8_t(c));
}

// One box: its type, where it starts, and its header and total sizes. Only 32-bit box sizes
// are accepted inside the meta box, which is what the encoder writes.
struct Box {
    std::string_view type;
    size_t start = 0;
    size_t size = 0;
    size_t end() const { return start + size; }
    size_t payload() const { return start + 8; }
};

std::optional<std::vector<Box>> boxesIn(std::span<const uint8_t> data, size_t from, size_t to)
{
    std::vector<Box> boxes;
    while (from < to) {
        if (to - from < 8) return std::nullopt;
        const uint64_t size = readBE(data, from, 4);
        if (size < 8 || size > to - from) return std::nullopt;
        boxes.push_back(
            {std::string_view(reinterpret_cast<const char*>(data.data() + from + 4), 4), from, size_t(size)});
        from += size_t(size);
    }
    return boxes;
}

const Box* find(const std::vector<Box>& boxes, std::string_view type)
{
    for (const Box& box : boxes)
        if (box.type == type) return &box;
    return nullptr;
}

Bytes boxBytes(std::string_view type, const Bytes& payload)
{
    Bytes box;
    box.reserve(8 + payload.size());
    appendBE(box, 8 + payload.size(), 4);
    appendText(box, type);
    for (uint8_t b : payload) box.push_back(b);
    return box;
}

Bytes copyOf(std::span<const uint8_t> data, const Box& box)
{
    return Bytes(data.begin() + std::ptrdiff_t(box.start), data.begin() + std::ptrdiff_t(box.end()));
}

// The item info box with the map's entry flagged hidden (same size).
std::optional<Bytes> hiddenItemInfo(std::span<const uint8_t> data, const Box& iinf, uint32_t item)
{
    Bytes out = copyOf(data, iinf);
    const uint8_t version = out[8];
    const size_t entries = 12 + (version == 0 ? 2 : 4);
    const auto infes = boxesIn(out, entries, out.size());
    if (!infes) return std::nullopt;
    for (const Box& infe : *infes) {
        if (infe.type != "infe" || infe.size < 14) continue;
        const uint8_t infeVersion = out[infe.payload()];
        if (infeVersion < 2) continue;
        const uint32_t id = uint32_t(readBE(out, infe.payload() + 4, infeVersion == 2 ? 2 : 4));
        if (id != item) continue;
        out[infe.payload() + 3] |= 1; // flags: hidden
        return out;
    }
    return std::nullopt;
}

// The item properties box with an auxC property added and associated with the map.
std::optional<Bytes> propertiesWithAuxiliaryType(std::span<const uint8_t> data, const Box& iprp, uint32_t item)
{
    const auto children = boxesIn(data, iprp.payload(), iprp.end());
    if (!children) return std::nullopt;
    const Box* ipco = find(*children, "ipco");
    const Box* ipma = find(*children, "ipma");
    if (!ipco || !ipma) return std::nullopt;
    const auto properties = boxesIn(data, ipco->payload(), ipco->end());
    if (!properties) return std::nullopt;
    const size_t propertyIndex = properties->size() + 1;

    Bytes auxC;
    appendBE(auxC, 0, 4); // version and flags
    appendText(auxC, heicGainMapAuxiliaryType);
    auxC.push_back(0);
    Bytes ipcoPayload(data.begin() + std::ptrdiff_t(ipco->payload()), data.begin() + std::ptrdiff_t(ipco->end()));
    const Bytes auxCBox = boxBytes("auxC", auxC);
    ipcoPayload.insert(ipcoPayload.end(), auxCBox.begin(), auxCBox.end());

    // ipma: version/flags, entry count, then per item its id, association count and associations.
    const size_t at = ipma->payload();
    const uint8_t version = data[at];
    const bool wideIndex = data[at + 3] & 1;
    const size_t idSize = version < 1 ? 2 : 4;
    if (propertyIndex > (wideIndex ? 0x7FFFu : 0x7Fu)) return std::nullopt;
    const uint32_t count = uint32_t(readBE(data, at + 4, 4));
    Bytes ipmaPayload(data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + 8));
    size_t cursor = at + 8;
    bool associated = false;
    for (uint32_t i = 0; i < count; ++i) {
        if (cursor + idSize + 1 > ipma->end()) return std::nullopt;
        const uint32_t id = uint32_t(readBE(data, cursor, idSize));
        const uint8_t associations = data[cursor + idSize];
        const size_t length = idSize + 1 + associations * (wideIndex ? 2u : 1u);
        if (cursor + length > ipma->end()) return std::nullopt;
        Bytes entry(data.begin() + std::ptrdiff_t(cursor), data.begin() + std::ptrdiff_t(cursor + length));
        if (id == item) {
            if (associations == 255) return std::nullopt;
            entry[idSize] = uint8_t(associations + 1);
            appendBE(entry, propertyIndex, wideIndex ? 2 : 1); // not essential
            associated = true;
        }
        ipmaPayload.insert(ipmaPayload.end(), entry.begin(), entry.end());
        cursor += length;
    }
    if (!associated) return std::nullopt;

    Bytes payload;
    for (const Box& child : *children) {
        Bytes replaced = child.type == "ipco"   ? boxBytes("ipco", ipcoPayload)
                         : child.type == "ipma" ? boxBytes("ipma", ipmaPayload)
                                                : copyOf(data, child);
        payload.insert(payload.end(), replaced.begin(), replaced.end());
    }
    return boxBytes("iprp", payload);
}

// The item reference box (made when there is none) with an auxl reference from map to primary.
Bytes referencesWithAuxiliaryLink(std::span<const uint8_t> data, const Box* iref, uint32_t item, uint32_t primary)
{
    const uint8_t version = iref ? data[iref->payload()] : uint8_t(item > 0xFFFF || primary > 0xFFFF);
    const size_t idSize = version == 0 ? 2 : 4;
    Bytes payload =
        iref ? Bytes(data.begin() + std::ptrdiff_t(iref->payload()), data.begin() + std::ptrdiff_t(iref->end()))
             : Bytes{version, 0, 0, 0};
    Bytes link;
    appendBE(link, item, idSize);
    appendBE(link, 1, 2);
    appendBE(link, primary, idSize);
    const Bytes box = boxBytes("auxl", link);
    payload.insert(payload.end(), box.begin(), box.end());
    return boxBytes("iref", payload);
}

// Moves every file offset of the item locations at or past `from` by `delta`, in place.
bool shiftLocations(Bytes& iloc, size_t from, size_t delta)
{
    if (iloc.size() < 16) return false;
    const uint8_t version = iloc[8];
    const size_t offsetSize = iloc[12] >> 4, lengthSize = iloc[12] & 15;
    const size_t baseSize = iloc[13] >> 4, indexSize = version >= 1 ? (iloc[13] & 15) : 0;
    size_t cursor = 14;
    const size_t countSize = version < 2 ? 2 : 4;
    if (cursor + countSize > iloc.size()) return false;
    const uint64_t items = readBE(iloc, cursor, countSize);
    cursor += countSize;
    const auto shift = [&](size_t at, size_t size) {
        if (size == 0) return true;
        const uint64_t value = readBE(iloc, at, size);
        if (value < from) return true;
        const uint64_t moved = value + delta;
        if (size < 8 && moved >> (8 * size)) return false;
        writeBE(iloc.data() + at, moved, size);
        return true;
    };
    for (uint64_t i = 0; i < items; ++i) {
        const size_t idSize = version < 2 ? 2 : 4;
        const size_t fixed = idSize + (version >= 1 ? 2 : 0) + 2 + baseSize + 2;
        if (cursor + fixed > iloc.size()) return false;
        cursor += idSize;
        const unsigned method = version >= 1 ? unsigned(readBE(iloc, cursor, 2) & 15) : 0;
        cursor += (version >= 1 ? 2 : 0) + 2;
        const size_t baseAt = cursor;
        const uint64_t base = readBE(iloc, baseAt, baseSize);
        cursor += baseSize;
        const uint64_t extents = readBE(iloc, cursor, 2);
        cursor += 2;
        const size_t extentSize = indexSize + offsetSize + lengthSize;
        if (cursor + extents * extentSize > iloc.size()) return false;
        if (method == 0) {
            // File offsets: the base when there is one, else each extent's own offset.
            if (baseSize > 0 && base != 0) {
                if (!shift(baseAt, baseSize)) return false;
            } else {
                for (uint64_t e = 0; e < extents; ++e)
                    if (!shift(cursor + e * extentSize + indexSize, offsetSize)) return false;
            }
        }
        cursor += extents * extentSize;
    }
    return true;
}

} // namespace

bool makeAuxiliaryGainMap(std::vector<uint8_t>& file, uint32_t mapItem, uint32_t primaryItem)
{
    const auto top = boxesIn(file, 0, file.size());
    if (!top) return false;
    const Box* meta = find(*top, "meta");
    if (!meta || meta->size < 12) return false;
    const auto children = boxesIn(file, meta->payload() + 4, meta->end());
    if (!children) return false;
    const Box* iinf = find(*children, "iinf");
    const Box* iprp = find(*children, "iprp");
    const Box* iloc = find(*children, "iloc");
    if (!iinf || !iprp || !iloc) return false;

    const auto newInfo = hiddenItemInfo(file, *iinf, mapItem);
    const auto newProperties = propertiesWithAuxiliaryType(file, *iprp, mapItem);
    if (!newInfo || !newProperties) return false;
    const Box* iref = find(*children, "iref");
    const Bytes newReferences = referencesWithAuxiliaryLink(file, iref, mapItem, primaryItem);

    Bytes payload(file.begin() + std::ptrdiff_t(meta->payload()), file.begin() + std::ptrdiff_t(meta->payload() + 4));
    size_t ilocAt = 0;
    for (const Box& child : *children) {
        const Bytes replaced = child.type == "iinf"   ? *newInfo
                               : child.type == "iprp" ? *newProperties
                               : child.type == "iref" ? newReferences
                                                      : copyOf(file, child);
        if (child.type == "iloc") ilocAt = 8 + payload.size();
        payload.insert(payload.end(), replaced.begin(), replaced.end());
    }
    if (!iref) payload.insert(payload.end(), newReferences.begin(), newReferences.end());
    Bytes newMeta = boxBytes("meta", payload);
    const size_t delta = newMeta.size() - meta->size;

    Bytes locations(newMeta.begin() + std::ptrdiff_t(ilocAt), newMeta.begin() + std::ptrdiff_t(ilocAt + iloc->size));
    if (!shiftLocations(locations, meta->end(), delta)) return false;
    std::memcpy(newMeta.data() + ilocAt, locations.data(), locations.size());

    Bytes result;
    result.reserve(file.size() + delta);
    result.insert(result.end(), file.begin(), file.begin() + std::ptrdiff_t(meta->start));
    result.insert(result.end(), newMeta.begin(), newMeta.end());
    result.insert(result.end(), file.begin() + std::ptrdiff_t(meta->end()), file.end());
    file = std::move(result);
    return true;
}

} // namespace oxel
