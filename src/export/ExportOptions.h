#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// The file formats of an export, in the order the export sheet lists them.
enum class ExportFormat { psd, tiff, jpeg, png, heic };

inline constexpr std::array<ExportFormat, 5> allExportFormats = {
    ExportFormat::psd, ExportFormat::tiff, ExportFormat::jpeg, ExportFormat::png, ExportFormat::heic};

// "psd", "tiff", "jpeg", "png", "heic": the stored settings' words.
std::string_view rawValue(ExportFormat format);
// The format whose raw value is exactly `raw` (letter case included), or nothing.
std::optional<ExportFormat> exportFormatFromRawValue(std::string_view raw);
// The uniform type identifier of the format.
std::string_view typeIdentifier(ExportFormat format);
// Whether the format can hold 16 bits a channel.
bool allowsSixteenBit(ExportFormat format);
// Whether a file of the format can carry the original's HDR gain map.
bool carriesGainMap(ExportFormat format);
// "psd", "tif", "jpg", "png", "heic": the extension an exported file of the format is named with.
std::string_view fileExtension(ExportFormat format);
// Every extension a file of the format is read as, the one exports are named with first:
// "psd"; "tif", "tiff".
std::vector<std::string_view> fileExtensions(ExportFormat format);
// The format a file named with `extension` (without its dot, in any letter case) is written in:
// "psd"; "tif" or "tiff"; "jpg" or "jpeg"; "png"; "heic". Nothing for any other extension.
std::optional<ExportFormat> exportFormatForExtension(std::string_view extension);
// ".psd.part", ".tif.part": what the layered writer's temporary file ends in.
std::string layeredTemporarySuffix(ExportFormat format);

// Whether a file of the format holds layers: never (JPEG, PNG, HEIC), always (PSD), or as the
// photographer chooses (TIFF).
enum class FormatLayers { never, always, chosen };
FormatLayers layersOf(ExportFormat format);
// Whether the format can hold layers at all: PSD and TIFF.
bool carriesLayers(ExportFormat format);

// The tag an exported file's name carries: "colour-only" for a picture graded on this computer,
// else "oxel".
std::string_view exportTag(bool colourOnly);
// An exported file's name: the original's stem, "-", the tag, "-" and `number` from the second
// file of the name on, then "." and the format's extension: "IMG_7-oxel.psd", "IMG_7-oxel-2.psd".
std::string exportFileName(std::string_view stem, std::string_view tag, ExportFormat format, int number = 1);
// The format an original is written back in, from its type identifier (none: JPEG); formats that
// can't be written back (GIF and the like) become JPEG.
ExportFormat exportFormatForSourceType(std::optional<std::string_view> sourceTypeIdentifier);

// Which colour an export carries: the original's own space and profile, or sRGB.
enum class ExportColour { embedded, sRGB };

inline constexpr std::array<ExportColour, 2> allExportColours = {ExportColour::embedded, ExportColour::sRGB};

std::string_view rawValue(ExportColour colour);
std::optional<ExportColour> exportColourFromRawValue(std::string_view raw);

// The photographer's export settings for one file.
struct ExportOptions {
    ExportFormat format = ExportFormat::psd;
    ExportColour colour = ExportColour::embedded;
    bool sixteenBit = true;
    double jpegQuality = 0.95; // 0...1, JPEG and HEIC
    bool tiffLayered = true;
    bool inheritCaptureDate = true;

    bool operator==(const ExportOptions&) const = default;
};

// Whether a file written with the options holds layers: PSD always, TIFF when `tiffLayered`.
bool writesLayers(const ExportOptions& options);

// Why an export failed, with the words the photographer sees.
struct ExportError {
    enum class Kind { transferDeclined, writeFailed, noResult };

    Kind kind = Kind::writeFailed;
    std::string payload;

    static ExportError transferDeclined(std::string why) { return {Kind::transferDeclined, std::move(why)}; }
    static ExportError writeFailed(std::string why) { return {Kind::writeFailed, std::move(why)}; }
    static ExportError noResult() { return {Kind::noResult, {}}; }

    std::string description() const;
    bool operator==(const ExportError&) const = default;
};

} // namespace oxel
