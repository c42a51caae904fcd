#include "develop/codecs/HEIFTransforms.h"

#include "develop/codecs/ByteIO.h"

#include <string_view>

namespace oxel {

namespace {

struct BoxView {
    std::string_view type;
    std::span<const uint8_t> body;
};

// The boxes laid end to end in `bytes`; nothing when one runs past the end.
std::optional<std::vector<BoxView>> boxesIn(std::span<const uint8_t> bytes)
{
    std::vector<BoxView> boxes;
    ByteReader in(bytes);
    while (!in.atEnd()) {
        const size_t start = in.position();
        const auto size32 = in.u32be();
        const auto type = in.bytes(4);
        if (!size32 || !type) return std::nullopt;
        uint64_t size = *size32;
        if (size == 1) {
            const auto size64 = in.u64be();
            if (!size64) return std::nullopt;
            size = *size64;
        } else if (size == 0) {
            size = bytes.size() - start;
        }
        const size_t header = in.position() - start;
        if (size < header || size - header > in.remaining()) return std::nullopt;
        const auto body = in.bytes(size - header);
        boxes.push_back({std::string_view(reinterpret_cast<const char*>(type->data()), 4), *body});
    }
    return boxes;
}

std::optional<BoxView> find(const std::vector<BoxView>& boxes, std::string_view type)
{
    for (const BoxView& box : boxes)
        if (box.type == type) return box;
    return std::nullopt;
}

// The 1-based property indexes an 'ipma' box associates with the item.
std::optional<std::vector<uint16_t>> associations(std::span<const uint8_t> ipma, uint32_t itemID)
{
    ByteReader in(ipma);
    const auto version = in.u8();
    const auto flags = in.bytes(3);
    const auto entries = in.u32be();
    if (!version || !flags || !entries) return std::nullopt;
    const bool wide = (*flags)[2] & 1;
    std::vector<uint16_t> indexes;
    for (uint32_t e = 0; e < *entries; ++e) {
        const std::optional<uint32_t> id = *version < 1 ? std::optional<uint32_t>(in.u16be()) : in.u32be();
        const auto count = in.u8();
        if (!id || !count) return std::nullopt;
        for (uint8_t a = 0; a < *count; ++a) {
            const std::optional<uint16_t> value = wide ? in.u16be() : std::optional<uint16_t>(in.u8());
            if (!value) return std::nullopt;
            if (*id == itemID) indexes.push_back(uint16_t(*value & (wide ? 0x7FFF : 0x7F)));
        }
    }
    return indexes;
}

// 'irot' turns anticlockwise by quarter turns; 'imir' mirrors about the vertical (0) or the
// horizontal (1) axis. As EXIF orientations that make the stored picture look that way.
std::optional<int> orientationOf(const BoxView& property)
{
    if (property.body.empty()) return std::nullopt;
    const int value = property.body[0];
    if (property.type == "irot") {
        static constexpr int turns[4] = {1, 8, 3, 6};
        return turns[value & 3];
    }
    if (property.type == "imir") return (value & 1) ? 4 : 2;
    return std::nullopt;
}

} // namespace

std::optional<std::vector<int>> heifItemTransforms(std::span<const uint8_t> file, uint32_t itemID)
{
    const auto top = boxesIn(file);
    const auto meta = top ? find(*top, "meta") : std::nullopt;
    if (!meta || meta->body.size() < 4) return std::nullopt;
    const auto metaChildren = boxesIn(meta->body.subspan(4));
    const auto iprp = metaChildren ? find(*metaChildren, "iprp") : std::nullopt;
    const auto iprpChildren = iprp ? boxesIn(iprp->body) : std::nullopt;
    const auto ipco = iprpChildren ? find(*iprpChildren, "ipco") : std::nullopt;
    const auto properties = ipco ? boxesIn(ipco->body) : std::nullopt;
    if (!properties) return std::nullopt;
    std::vector<int> transforms;
    for (const BoxView& box : *iprpChildren) {
        if (box.type != "ipma") continue;
        const auto indexes = associations(box.body, itemID);
        if (!indexes) return std::nullopt;
        for (uint16_t index : *indexes) {
            if (index == 0 || index > properties->size()) continue;
            if (auto orientation = orientationOf((*properties)[index - 1])) transforms.push_back(*orientation);
        }
    }
    return transforms;
}

} // namespace oxel
