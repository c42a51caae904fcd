#include "develop/HEIFGainMapFile.h"

#include <libheif/heif.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

namespace oxel::test {

namespace {

struct Box {
    std::string type;
    Bytes body; // after the size and type (and, for full boxes, still holding version and flags)
};

uint32_t read32(const Bytes& b, size_t at)
{
    return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}
uint64_t readN(const Bytes& b, size_t at, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | b[at + size_t(i)];
    return v;
}
void writeN(Bytes& b, size_t at, int n, uint64_t v)
{
    for (int i = n - 1; i >= 0; --i, v >>= 8) b[at + size_t(i)] = uint8_t(v);
}
void put32(Bytes& b, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
void put16(Bytes& b, uint16_t v)
{
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

std::vector<Box> parseBoxes(const Bytes& bytes, size_t from, size_t to)
{
    std::vector<Box> boxes;
    while (from + 8 <= to) {
        const uint32_t size = read32(bytes, from);
        if (size < 8 || from + size > to) throw std::runtime_error("unexpected box layout");
        boxes.push_back({std::string(reinterpret_cast<const char*>(&bytes[from + 4]), 4),
                         Bytes(bytes.begin() + long(from + 8), bytes.begin() + long(from + size))});
        from += size;
    }
    return boxes;
}

Bytes serialise(const Box& box)
{
    Bytes out;
    out.reserve(box.body.size() + 8);
    put32(out, uint32_t(box.body.size() + 8));
    out.insert(out.end(), box.type.begin(), box.type.end());
    out.insert(out.end(), box.body.begin(), box.body.end());
    return out;
}

Box* find(std::vector<Box>& boxes, const std::string& type)
{
    for (Box& box : boxes)
        if (box.type == type) return &box;
    return nullptr;
}

// Moves every file offset in the item locations by `delta` (the items all live after the meta box).
void shiftLocations(Box& iloc, int64_t delta)
{
    Bytes& b = iloc.body;
    const int version = b[0];
    const int offsetSize = b[4] >> 4, lengthSize = b[4] & 15, baseSize = b[5] >> 4, indexSize = version ? b[5] & 15 : 0;
    size_t at = 6;
    const uint32_t items = version < 2 ? uint32_t(readN(b, at, 2)) : read32(b, at);
    at += version < 2 ? 2 : 4;
    for (uint32_t i = 0; i < items; ++i) {
        at += version < 2 ? 2 : 4; // item id
        int method = 0;
        if (version >= 1) {
            method = b[at + 1] & 15;
            at += 2;
        }
        at += 2; // data reference index
        const size_t baseAt = at;
        const uint64_t base = readN(b, at, baseSize);
        at += size_t(baseSize);
        const uint16_t extents = uint16_t(readN(b, at, 2));
        at += 2;
        const bool shiftBase = method == 0 && baseSize > 0 && base != 0;
        if (shiftBase) writeN(b, baseAt, baseSize, uint64_t(int64_t(base) + delta));
        for (uint16_t e = 0; e < extents; ++e) {
            at += size_t(indexSize);
            if (method == 0 && !shiftBase)
                writeN(b, at, offsetSize, uint64_t(int64_t(readN(b, at, offsetSize)) + delta));
            at += size_t(offsetSize + lengthSize);
        }
    }
}

void addAuxiliaryReference(std::vector<Box>& meta, uint32_t mapID, uint32_t primaryID)
{
    Box* iref = find(meta, "iref");
    if (!iref) {
        meta.push_back({"iref", Bytes(4, 0)});
        iref = &meta.back();
    }
    iref->body.reserve(iref->body.size() + 14);
    Bytes reference;
    reference.reserve(14);
    put32(reference, 14);
    reference.insert(reference.end(), {'a', 'u', 'x', 'l'});
    put16(reference, uint16_t(mapID));
    put16(reference, 1);
    put16(reference, uint16_t(primaryID));
    iref->body.insert(iref->body.end(), reference.begin(), reference.end());
}

// Appends a property to the item property container and associates it with one item.
void addProperty(std::vector<Box>& meta, uint32_t itemID, const Box& property, bool essential)
{
    Box* iprp = find(meta, "iprp");
    std::vector<Box> properties = parseBoxes(iprp->body, 0, iprp->body.size());
    Box* ipco = find(properties, "ipco");
    std::vector<Box> items = parseBoxes(ipco->body, 0, ipco->body.size());
    items.push_back(property);
    const size_t propertyIndex = items.size();
    ipco->body.clear();
    for (const Box& item : items) {
        const Bytes b = serialise(item);
        ipco->body.insert(ipco->body.end(), b.begin(), b.end());
    }

    Box* ipma = find(properties, "ipma");
    const Bytes& in = ipma->body;
    const int version = in[0];
    const bool wide = in[3] & 1;
    Bytes out(in.begin(), in.begin() + 8);
    size_t at = 8;
    const uint32_t entries = read32(in, 4);
    for (uint32_t e = 0; e < entries; ++e) {
        const size_t idSize = version < 1 ? 2 : 4;
        const uint32_t id = uint32_t(readN(in, at, int(idSize)));
        const uint8_t count = in[at + idSize];
        const size_t associationBytes = size_t(count) * (wide ? 2 : 1);
        out.insert(out.end(), in.begin() + long(at), in.begin() + long(at + idSize));
        out.push_back(uint8_t(count + (id == itemID ? 1 : 0)));
        out.insert(out.end(), in.begin() + long(at + idSize + 1),
                   in.begin() + long(at + idSize + 1 + associationBytes));
        if (id == itemID) {
            if (wide)
                put16(out, uint16_t(propertyIndex | (essential ? 0x8000 : 0)));
            else
                out.push_back(uint8_t(propertyIndex | (essential ? 0x80 : 0)));
        }
        at += idSize + 1 + associationBytes;
    }
    ipma->body = out;
    iprp->body.clear();
    for (const Box& p : properties) {
        const Bytes b = serialise(p);
        iprp->body.insert(iprp->body.end(), b.begin(), b.end());
    }
}

Box auxiliaryTypeProperty()
{
    const std::string type = "urn:com:apple:photo:2020:aux:hdrgainmap";
    Box auxC{"auxC", {}};
    auxC.body.reserve(4 + type.size() + 1);
    auxC.body.assign(4, 0); // version and flags
    auxC.body.insert(auxC.body.end(), type.begin(), type.end());
    auxC.body.push_back(0);
    return auxC;
}

// The file with its meta box changed by `change`; item data after the meta box moves along.
Bytes withChangedMeta(const Bytes& original, const std::function<void(std::vector<Box>&)>& change)
{
    std::vector<Box> top = parseBoxes(original, 0, original.size());
    bool seenMeta = false;
    for (const Box& box : top) {
        if (box.type == "meta")
            seenMeta = true;
        else if (box.type == "mdat" && !seenMeta)
            throw std::runtime_error("media data before the meta box");
    }
    Box* meta = find(top, "meta");
    std::vector<Box> children = parseBoxes(meta->body, 4, meta->body.size());
    const size_t oldMetaSize = meta->body.size();
    change(children);
    Bytes body;
    const auto rebuild = [&] {
        body.assign(meta->body.begin(), meta->body.begin() + 4);
        for (const Box& child : children) {
            const Bytes b = serialise(child);
            body.insert(body.end(), b.begin(), b.end());
        }
    };
    rebuild();
    shiftLocations(*find(children, "iloc"), int64_t(body.size()) - int64_t(oldMetaSize));
    rebuild();
    meta->body = body;
    Bytes out;
    for (const Box& box : top) {
        const Bytes b = serialise(box);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

Bytes encodeTwoPictures(int width, int height, int mapWidth, int mapHeight, const Pattern& map,
                        const std::string& mapXmp, uint32_t& primaryID, uint32_t& mapID)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 95);
    const auto encode = [&](int w, int h, const Pattern& pattern, bool grey) {
        heif_image* image = nullptr;
        heif_image_create(w, h, grey ? heif_colorspace_monochrome : heif_colorspace_RGB,
                          grey ? heif_chroma_monochrome : heif_chroma_interleaved_RGB, &image);
        const heif_channel channel = grey ? heif_channel_Y : heif_channel_interleaved;
        heif_image_add_plane(image, channel, w, h, 8);
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, channel, &stride);
        const int channels = grey ? 1 : 3;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < channels; ++c)
                    plane[size_t(y) * stride + size_t(x) * channels + c] =
                        uint8_t(std::clamp(pattern(x, y, c), 0.0, 1.0) * 255 + 0.5);
        heif_image_handle* handle = nullptr;
        heif_context_encode_image(context, image, encoder, nullptr, &handle);
        heif_image_release(image);
        return handle;
    };
    heif_image_handle* primary = encode(width, height, gradientOf(width, height), false);
    heif_image_handle* gain = encode(mapWidth, mapHeight, map, true);
    heif_context_set_primary_image(context, primary);
    heif_context_add_XMP_metadata(context, gain, mapXmp.data(), int(mapXmp.size()));
    heif_context_get_primary_image_ID(context, &primaryID);
    heif_item_id ids[2] = {0, 0};
    heif_context_get_list_of_top_level_image_IDs(context, ids, 2);
    mapID = ids[0] == primaryID ? ids[1] : ids[0];
    const Bytes out = heifFileBytes(context);
    heif_image_handle_release(primary);
    heif_image_handle_release(gain);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return out;
}

} // namespace

Bytes heicWithGainMap(int width, int height, int mapWidth, int mapHeight, const Pattern& map, const std::string& mapXmp,
                      int primaryTurns, int mapTurns)
{
    uint32_t primaryID = 0, mapID = 0;
    const Bytes original = encodeTwoPictures(width, height, mapWidth, mapHeight, map, mapXmp, primaryID, mapID);
    return withChangedMeta(original, [&](std::vector<Box>& meta) {
        addAuxiliaryReference(meta, mapID, primaryID);
        addProperty(meta, mapID, auxiliaryTypeProperty(), false);
        if (primaryTurns) addProperty(meta, primaryID, Box{"irot", Bytes(1, uint8_t(primaryTurns & 3))}, true);
        if (mapTurns) addProperty(meta, mapID, Box{"irot", Bytes(1, uint8_t(mapTurns & 3))}, true);
    });
}

Bytes heicTurned(int width, int height, int quarterTurns)
{
    const Bytes original = encodeHeic(width, height, gradientOf(width, height));
    return withChangedMeta(original, [&](std::vector<Box>& meta) {
        const Bytes pitm = find(meta, "pitm")->body;
        const uint32_t primaryID = uint32_t(readN(pitm, 4, pitm[0] == 0 ? 2 : 4));
        addProperty(meta, primaryID, Box{"irot", Bytes(1, uint8_t(quarterTurns & 3))}, true);
    });
}

} // namespace oxel::test
