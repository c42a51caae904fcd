#include "export/ExportOptions.h"

namespace oxel {

namespace {

struct FormatFacts {
    ExportFormat format;
    std::string_view raw;
    std::string_view typeIdentifier;
    bool sixteenBit;
};

constexpr std::array<FormatFacts, 5> formatFacts = {{
    {ExportFormat::psd, "psd", "com.adobe.photoshop-image", true},
    {ExportFormat::tiff, "tiff", "public.tiff", true},
    {ExportFormat::jpeg, "jpeg", "public.jpeg", false},
    {ExportFormat::png, "png", "public.png", true},
    {ExportFormat::heic, "heic", "public.heic", false},
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
