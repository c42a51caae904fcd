#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

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
// "psd", "tif", "jpg", "png", "heic": the format's file extension, which the flat writer's
// temporary file takes.
std::string_view temporaryExtension(ExportFormat format);
// ".psd.part", ".tif.part": what the layered writer's temporary file ends in.
std::string layeredTemporarySuffix(ExportFormat format);
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
