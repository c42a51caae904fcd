#include "export/FlatWriter.h"

#include "export/ExportMetadata.h"
#include "export/FlatPSD.h"
#include "export/JPEGGainMap.h"
#include "export/OutputFile.h"
#include "export/PNGEncoder.h"
#include "export/StagingArea.h"
#include "export/TIFFEncoder.h"
#include "platform/Diagnostics.h"

#include "develop/HDRGainMap.h"
#include "develop/codecs/JPEGEncoder.h"
#include "imaging/RenderBanded.h"
#include "platform/AtomicFile.h"

#include <cmath>
#include <unistd.h>

namespace oxel {

namespace {

namespace fs = std::filesystem;

bool sixteenBitFor(const ExportOptions& options)
{
    return options.sixteenBit && allowsSixteenBit(options.format);
}

ExportFailure writeFailed(std::string text)
{
    return {ExportError::writeFailed(std::move(text))};
}

// Why no file could be made in `folder`, in the photographer's words.
std::string destinationTrouble(const fs::path& folder, ExportFormat format)
{
    std::error_code error;
    const std::string prefix = "could not create " + std::string(rawValue(format)) + " destination: ";
    if (!fs::is_directory(folder, error)) return prefix + "the folder " + folder.string() + " is not there";
    if (::access(folder.c_str(), W_OK) != 0) return prefix + "the folder " + folder.string() + " cannot be written to";
    return prefix + "imageio would not write " + std::string(typeIdentifier(format));
}

struct GainMapOutcome {
    std::optional<CarriedGainMap> map;
    std::string why;
};

GainMapOutcome carryGainMap(const Image& picture, const FlatWriteOriginal& original, ExportFormat format,
                            const RenderContext& context, const FlatWriteServices& services)
{
    if (!original.hasGainMap) return {std::nullopt, "no-map"};
    if (!carriesGainMap(format)) return {std::nullopt, "format-cannot-carry"};
    // The file could not be read again (it changed or went away since it was loaded).
    if (!original.gainMapFile) return {std::nullopt, "no-map:unreadable"};
    if (!services.carryGainMap) return {std::nullopt, "no-kernel"};
    GainMapOutcome outcome;
    outcome.map = services.carryGainMap(*original.gainMapFile, picture, context, outcome.why);
    return outcome;
}

// A map that came without metadata still has to be found again by readers, which look for a
// gain-map vocabulary in the second picture's XMP: it is marked as the platform's kind of map.
constexpr std::string_view plainGainMapXmp =
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:HDRGainMap=\"http://ns.apple.com/HDRGainMap/1.0/\" "
    "HDRGainMap:HDRGainMapVersion=\"65536\"/></rdf:RDF></x:xmpmeta>";

std::optional<std::vector<uint8_t>> grey(const GainMapPicture& map, double quality)
{
    auto bitmap = Bitmap::allocate(map.width, map.height, PixelFormat::Gray8);
    if (!bitmap || map.pixels.size() != size_t(map.width * map.height)) return std::nullopt;
    for (int64_t y = 0; y < map.height; ++y)
        std::copy_n(map.pixels.data() + size_t(y * map.width), size_t(map.width), bitmap->mutableRow(y));
    return encodeJPEG(*bitmap, jpegQuality(quality), {});
}

std::optional<std::vector<uint8_t>> jpegFile(const Bitmap& bitmap, const Metadata& metadata, double quality, double dpi,
                                             const GainMapPicture* gainMap)
{
    auto primary = encodeJPEG(bitmap, jpegQuality(quality), bitmap.colourSpace().icc, dpi);
    if (!primary) return std::nullopt;
    if (!metadata.isEmpty() && metadata.writeInto(*primary)) return std::nullopt;
    if (!gainMap) return primary;
    const auto map = grey(*gainMap, quality);
    if (!map) return std::nullopt;
    return withGainMapPicture(*primary, *map, gainMap->xmp.empty() ? plainGainMapXmp : std::string_view(gainMap->xmp));
}

// The PNG file is written as it is encoded, never whole in memory: the metadata goes into a file
// of no image data first, whose chunks then lead the image data.
bool writePNGFile(const Bitmap& bitmap, const Metadata& metadata, double dpi, AtomicFile& file)
{
    auto head = pngWithoutImageData(bitmap, dpi);
    if (!head) return false;
    if (metadata.hasIptc()) {
        Metadata iptcOnly = metadata;
        iptcOnly.removeIf([](std::string_view key) { return !key.starts_with("Iptc."); });
        if (iptcOnly.writeInto(*head)) return false;
    }
    head = withExifChunk(*head, metadata.exifBytes());
    return head && writePNG(bitmap, *head,
                            [&file](std::span<const uint8_t> bytes) { return file.write(bytes.data(), bytes.size()); });
}

std::optional<std::vector<uint8_t>> encodedWith(const Bitmap& bitmap, const Metadata& metadata, double dpi,
                                                const ExportOptions& options, const GainMapPicture* gainMap)
{
    switch (options.format) {
    case ExportFormat::jpeg: return jpegFile(bitmap, metadata, options.jpegQuality, dpi, gainMap);
    case ExportFormat::heic:
        // HEIF files take the IPTC as an XMP item; the original's own XMP stays out.
        return encodeHEIC(bitmap, options.jpegQuality, metadata.exifBytes(), metadata.iptcAsXmpPacket(), gainMap);
    case ExportFormat::png:
    case ExportFormat::tiff:
    case ExportFormat::psd: break;
    }
    return std::nullopt;
}

// The encoded file of a format encoded in memory, or nothing when encoding failed. A gain map
// that the file cannot take (its metadata too large for a JPEG segment, say) is left out rather
// than failing the export; `gainMap` is then cleared.
std::optional<std::vector<uint8_t>> encodedFile(const Bitmap& bitmap, const Metadata& metadata, double dpi,
                                                const ExportOptions& options, const GainMapPicture*& gainMap)
{
    if (gainMap) {
        if (auto bytes = encodedWith(bitmap, metadata, dpi, options, gainMap)) return bytes;
        diagnose("export", "the gain map could not be written into the " + std::string(rawValue(options.format)) +
                               " file; it goes without one");
        gainMap = nullptr;
    }
    return encodedWith(bitmap, metadata, dpi, options, nullptr);
}

// The picture and its metadata into the temporary file. The rendered picture is let go as soon
// as it is encoded, before the metadata is written into the encoded file.
bool writeFile(std::optional<Bitmap>& bitmap, AtomicFile& file, const Metadata& metadata,
               const FlatWriteOriginal& original, const ExportOptions& options, const GainMapPicture*& gainMap)
{
    if (options.format == ExportFormat::psd) {
        OutputFile out(file.path(), file.descriptor());
        const auto error = writeFlatPSD(*bitmap, out, original.dpi, metadata.iptcBytes(), metadata.exifBytes());
        if (error) diagnose("export", error->description());
        return !error;
    }
    if (options.format == ExportFormat::png) {
        const bool written = writePNGFile(*bitmap, metadata, original.dpi, file);
        bitmap.reset();
        return written;
    }
    if (options.format == ExportFormat::tiff) {
        if (!encodeTIFF(*bitmap, file.descriptor(), file.path(), original.dpi)) return false;
        bitmap.reset();
        if (const auto error = metadata.isEmpty() ? std::nullopt : metadata.writeInto(file.descriptor())) {
            diagnose("export", *error);
            return false;
        }
        return true;
    }
    const auto bytes = encodedFile(*bitmap, metadata, original.dpi, options, gainMap);
    bitmap.reset();
    return bytes && file.write(bytes->data(), bytes->size());
}

void reportDetailTransfer(const FlatWriteServices& services, ExportFormat format, const FlatWriteResult& result,
                          const std::optional<CarriedGainMap>& map)
{
    if (!services.reportDetailTransfer) return;
    nlohmann::json metadata = {
        {"hdr", result.hdr}, {"hdrWhy", result.hdrWhy}, {"format", std::string(rawValue(format))}};
    if (map) {
        if (map->appliedMean) metadata["gainMean"] = *map->appliedMean;
        if (map->sourceMean) metadata["gainMeanBefore"] = *map->sourceMean;
        metadata["gainMax"] = double(std::round(map->paramsMax * 100.0f)) / 100.0;
    }
    services.reportDetailTransfer(metadata);
}

} // namespace

std::optional<CarriedGainMap> carryOriginalGainMap(std::span<const uint8_t> originalFile, const Image& picture,
                                                   const RenderContext& context, std::string& reason)
{
    const auto result = HDRGainMap::transfer(originalFile, picture, context, reason);
    if (!result) return std::nullopt;
    const auto data = HDRGainMap::auxiliaryData(*result, originalFile, context);
    if (!data || data->bytesPerRow < data->width || data->data.size() < size_t(data->bytesPerRow * data->height))
        return std::nullopt;
    CarriedGainMap carried;
    carried.picture.width = data->width;
    carried.picture.height = data->height;
    carried.picture.pixels.reserve(size_t(data->width * data->height));
    for (int64_t y = 0; y < data->height; ++y) {
        const auto row = data->data.begin() + std::ptrdiff_t(y * data->bytesPerRow);
        carried.picture.pixels.insert(carried.picture.pixels.end(), row, row + std::ptrdiff_t(data->width));
    }
    if (data->metadata) carried.picture.xmp = data->metadata->xmpPacket();
    carried.paramsMax = result->params.max;
    carried.appliedMean = result->appliedMean;
    carried.sourceMean = result->sourceMean;
    return carried;
}

ExportResult<FlatWriteResult> writeFlat(Image picture, const FlatWriteOriginal& original, const fs::path& destination,
                                        const ExportOptions& options, const ColourSpace& colourSpace,
                                        const RenderContext& context, const FlatWriteServices& services)
{
    const ExportFormat format = options.format;
    const fs::path folder = destination.parent_path().empty() ? fs::path(".") : destination.parent_path();
    const Rect extent = picture.extent();
    const int64_t width = extent.isInfinite() ? 0 : roundedSide(extent.width);
    const int64_t height = extent.isInfinite() ? 0 : roundedSide(extent.height);
    auto bitmap = renderBanded(picture, width, height, sixteenBitFor(options), colourSpace, context);
    picture = Image();
    if (!bitmap) return writeFailed("could not render the composite");

    // The map follows the picture as written: the rendered pixels, rather than the recipe, which
    // would develop the whole picture a second time only to be shrunk to the map's size.
    GainMapOutcome gainMap = carryGainMap(Image::fromBitmap(*bitmap), original, format, context, services);

    prepareToWriteInto(folder);
    std::string suffix = ".";
    suffix += fileExtension(format);
    AtomicFileOptions temporaryOptions = hiddenTemporary(std::move(suffix));
    temporaryOptions.beforeReplacing = services.beforeReplacing;
    AtomicFile temporary(destination, std::move(temporaryOptions));
    if (!temporary.created()) return writeFailed(destinationTrouble(folder, format));

    Metadata metadata = exportMetadata(original.metadata, options.inheritCaptureDate, services.softwareVersion);
    addResolution(metadata, original.dpi);
    const GainMapPicture* mapToWrite = gainMap.map ? &gainMap.map->picture : nullptr;
    if (!writeFile(bitmap, temporary, metadata, original, options, mapToWrite)) {
        if (!temporary.failure().empty()) diagnose("export", temporary.failure());
        return writeFailed("could not write " + std::string(rawValue(format)));
    }
    if (!mapToWrite) gainMap.map.reset();
    const FlatWriteResult result{gainMap.map.has_value(), gainMap.why};

    if (!temporary.commit()) return ExportFailure{FileSystemError{temporary.failure()}};

    reportDetailTransfer(services, format, result, gainMap.map);
    return result;
}

} // namespace oxel
