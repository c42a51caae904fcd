#pragma once

#include "develop/codecs/GainMapLocator.h"
#include "develop/codecs/Metadata.h"
#include "imaging/Image.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace oxel {

class RenderContext;

// Carrying an original's HDR gain map into an exported picture: the map is read back from the
// original file, turned like the picture, attenuated where the developed picture is not bright,
// and handed to the writer with the original map's metadata.
struct HDRGainMap {
    // The encoding of an ISO-style map: the gains in stops that map values 0 and 1 stand for, and
    // the exponent of the encoding curve. Exists only when min is below max.
    struct Params {
        float min = 0;
        float max = 1;
        float gamma = 1;

        // From the map's XMP: the last numeric entry whose name ends in "GainMapMin", "GainMapMax"
        // or "Gamma", in any namespace.
        static std::optional<Params> of(const Metadata& mapMetadata);
        bool operator==(const Params&) const = default;
    };

    struct Result {
        Image image;                       // the transferred map at the original map's size, origin (0, 0)
        Params params;                     // what the kernels used: the read ones, or (0, 1, 1) for "apple"
        std::string encoding;              // "iso" or "apple"
        std::optional<double> sourceMean;  // mean gain of the original map, in stops
        std::optional<double> appliedMean; // mean gain of the transferred map, in stops
        Metadata metadata;                 // the original map's own metadata
        GainMapKind kind = GainMapKind::hdr;
        GainMapContainer container = GainMapContainer::jpegMultiPicture;
    };

    // What a writer attaches to the written picture: one byte a pixel of the transferred map,
    // its layout, and the original map's metadata, to go back into the container it came from.
    struct AuxiliaryData {
        std::vector<uint8_t> data;
        int64_t width = 0;
        int64_t height = 0;
        int64_t bytesPerRow = 0;
        uint32_t pixelFormat = 0x4C303038; // "L008": one 8-bit component
        std::optional<Metadata> metadata;
        GainMapKind kind = GainMapKind::hdr;
        GainMapContainer container = GainMapContainer::jpegMultiPicture;
    };

    // The original's map carried onto `picture`. `reason` is overwritten with why there is or is
    // not a result: "no-map:" + type identifier (or "unreadable"), "no-render", "applied:iso",
    // "applied:apple".
    static std::optional<Result> transfer(std::span<const uint8_t> originalFile, const Image& picture,
                                          const RenderContext& context, std::string& reason);

    // The result rendered for the writer; nothing for an empty result.
    static std::optional<AuxiliaryData> auxiliaryData(const Result& result, std::span<const uint8_t> originalFile,
                                                      const RenderContext& context);

    // The map's own metadata as an export writes it back: entries whose text is a number in form
    // but no finite decimal number (NaN, infinities, exponents past the range) are left out, and
    // so is a curve exponent of zero or below, which reading takes as the default.
    static Metadata writableMetadata(const Metadata& mapMetadata);

    // The mean gain of a map in stops, rounded to hundredths in single precision.
    static std::optional<double> meanStops(const Image& map, const RenderContext& context, float min, float max,
                                           float gamma);

    // The per-pixel steps: the weight of the developed picture's brightness, and the map scaled
    // by that weight (the stored value for "apple" maps, the gain in stops for "iso" maps).
    static RGB gainWeight(RGB picture, float lo, float hi);
    static RGB gainModulate(RGB map, RGB weight, float mn, float mx, float gam, float iso);
};

} // namespace oxel
