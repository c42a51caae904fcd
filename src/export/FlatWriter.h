#pragma once

#include "export/ExportFailure.h"
#include "export/ExportOptions.h"
#include "export/HEICEncoder.h"

#include "develop/codecs/FileBytes.h"
#include "develop/codecs/Metadata.h"
#include "imaging/ColourSpace.h"
#include "imaging/Image.h"
#include "imaging/RenderContext.h"
#include "platform/BuildInfo.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace oxel {

// What the flat writer reads of the original.
struct FlatWriteOriginal {
    Metadata metadata;
    double dpi = 72;
    bool hasGainMap = false;
    // The original file's bytes, for carrying its gain map: present when it has one and the
    // file could be read again (only JPEG and HEIC exports need them).
    std::optional<FileBytes> gainMapFile;
};

// A gain map carried from the original onto the picture being written: its pixels with the
// original map's metadata, and the figures the export reports.
struct CarriedGainMap {
    GainMapPicture picture;
    float paramsMax = 1;
    std::optional<double> appliedMean;
    std::optional<double> sourceMean;
};

// Carries the original's gain map onto `picture` (rendered through `context`); always sets
// `reason` ("applied:iso", "applied:apple", or why not), and gives the map when it was carried.
using GainMapCarrier = std::function<std::optional<CarriedGainMap>(
    std::span<const uint8_t> originalFile, const Image& picture, const RenderContext& context, std::string& reason)>;

// The original's own map, read back from its file, turned like the picture and attenuated where
// the picture is not bright, with the original map's metadata.
std::optional<CarriedGainMap> carryOriginalGainMap(std::span<const uint8_t> originalFile, const Image& picture,
                                                   const RenderContext& context, std::string& reason);

// What the writer needs from the layers above it.
struct FlatWriteServices {
    std::string softwareVersion = appVersion();
    // Absent: gain maps are not carried (the reason says "no-kernel").
    GainMapCarrier carryGainMap = carryOriginalGainMap;
    // The "detail_transfer" funnel event's metadata, sent fire and forget; absent: not sent.
    std::function<void(const nlohmann::json& metadata)> reportDetailTransfer;
    // Asked just before the file replaces what is at its destination; a reason refuses it.
    std::function<std::optional<std::string>()> beforeReplacing;
};

// Whether the original's gain map went into the file, and why or why not.
struct FlatWriteResult {
    bool hdr = false;
    std::string hdrWhy;
    bool operator==(const FlatWriteResult&) const = default;
};

// Writes `picture`, already in the output colour and tagged `colourSpace`, as one flat file of
// the options' format: rendered once in bands at 16 bits where the format and the options allow
// it, else 8, with the original's metadata as `exportMetadata` makes it and, for JPEG and HEIC,
// the original's gain map. The file is written beside the destination under a hidden
// temporary name and moved into place; when anything fails the destination is left as it was
// and the temporary file is removed. The recipe is let go once rendered: hand it over with
// std::move so that what it holds (plans, scaled pictures) is freed before the file is encoded.
ExportResult<FlatWriteResult> writeFlat(Image picture, const FlatWriteOriginal& original,
                                        const std::filesystem::path& destination, const ExportOptions& options,
                                        const ColourSpace& colourSpace, const RenderContext& context,
                                        const FlatWriteServices& services = {});

} // namespace oxel
