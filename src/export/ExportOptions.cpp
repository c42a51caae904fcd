#include "export/ExportOptions.h"

#include <algorithm>
#include <cctype>

namespace oxel {

namespace {

// Everything the export knows of a format, in one place: every other reader asks here.
struct FormatFacts {
    ExportFormat format;
    std::string_view raw; // also the format's word in messages
    std::string_view typeIdentifier;
    bool sixteenBit;
    bool gainMap;
    std::string_view extension;      // what exported files are named with
    std::string_view otherExtension; // also read as the format in a chosen name; empty when none
    FormatLayers layers;
};

constexpr std::array<FormatFacts, 5> formatFacts = {{
    {ExportFormat::psd, "psd", "com.adobe.photoshop-image", true, false, "psd", "", FormatLayers::always},
    {ExportFormat::tiff, "tiff", "public.tiff", true, false, "tif", "tiff", FormatLayers::chosen},
    {ExportFormat::jpeg, "jpeg", "public.jpeg", false, true, "jpg", "jpeg", FormatLayers::never},
    {ExportFormat::png, "png", "public.png", true, false, "png", "", FormatLayers::never},
    {ExportFormat::heic, "heic", "public.heic", false, true, "heic", "", FormatLayers::never},
}};

const FormatFacts& factsOf(ExportFormat format)
{
    return formatFacts[size_t(format)];
}

} // namespace

std::string_view rawValue(ExportFormat format)
{
    return factsOf(format).raw;
}

std::optional<ExportFormat> exportFormatFromRawValue(std::string_view raw)
{
    for (const auto& facts : formatFacts)
        if (facts.raw == raw) return facts.format;
    return std::nullopt;
}

std::string_view typeIdentifier(ExportFormat format)
{
    return factsOf(format).typeIdentifier;
}

bool allowsSixteenBit(ExportFormat format)
{
    return factsOf(format).sixteenBit;
}

bool carriesGainMap(ExportFormat format)
{
    return factsOf(format).gainMap;
}

std::string_view fileExtension(ExportFormat format)
{
    return factsOf(format).extension;
}

std::vector<std::string_view> fileExtensions(ExportFormat format)
{
    const FormatFacts& facts = factsOf(format);
    if (facts.otherExtension.empty()) return {facts.extension};
    return {facts.extension, facts.otherExtension};
}

std::optional<ExportFormat> exportFormatForExtension(std::string_view extension)
{
    std::string lowered(extension);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (lowered.empty()) return std::nullopt;
    for (const auto& facts : formatFacts)
        if (lowered == facts.extension || lowered == facts.otherExtension) return facts.format;
    return std::nullopt;
}

std::string layeredTemporarySuffix(ExportFormat format)
{
    std::string suffix = ".";
    suffix += fileExtension(format);
    return suffix + ".part";
}

FormatLayers layersOf(ExportFormat format)
{
    return factsOf(format).layers;
}

bool carriesLayers(ExportFormat format)
{
    return layersOf(format) != FormatLayers::never;
}

bool writesLayers(const ExportOptions& options)
{
    const FormatLayers layers = layersOf(options.format);
    return layers == FormatLayers::always || (layers == FormatLayers::chosen && options.tiffLayered);
}

std::string_view exportTag(bool colourOnly)
{
    return colourOnly ? "colour-only" : "oxel";
}

std::string exportFileName(std::string_view stem, std::string_view tag, ExportFormat format, int number)
{
    std::string name(stem);
    name.append("-").append(tag);
    if (number >= 2) name.append("-").append(std::to_string(number));
    name.append(".").append(fileExtension(format));
    return name;
}

ExportFormat exportFormatForSourceType(std::optional<std::string_view> type)
{
    if (!type) return ExportFormat::jpeg;
    // A large document conforms to the Photoshop type; it is written back as one when it needs to be.
    if (*type == "com.adobe.photoshop-image" || *type == "com.adobe.photoshop-large-image") return ExportFormat::psd;
    if (*type == "public.tiff") return ExportFormat::tiff;
    if (*type == "public.png") return ExportFormat::png;
    if (*type == "public.heic" || *type == "public.heif") return ExportFormat::heic;
    return ExportFormat::jpeg;
}

std::string_view rawValue(ExportColour colour)
{
    return colour == ExportColour::sRGB ? "sRGB" : "embedded";
}

std::optional<ExportColour> exportColourFromRawValue(std::string_view raw)
{
    for (ExportColour colour : allExportColours)
        if (rawValue(colour) == raw) return colour;
    return std::nullopt;
}

std::string ExportError::description() const
{
    switch (kind) {
    case Kind::transferDeclined: return "transfer declined: " + payload;
    case Kind::writeFailed: return "write failed: " + payload;
    case Kind::noResult: return "nothing to export yet";
    }
    return payload;
}

} // namespace oxel
