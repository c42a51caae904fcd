#include "sheets/ExportSheetState.h"

#include "sheets/Plurals.h"

#include <algorithm>
#include <chrono>

namespace oxel {
namespace {

bool has(const std::vector<ExportFormat>& formats, ExportFormat format)
{
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

std::string noteFor(ExportFormat format, bool tiffLayered)
{
    switch (format) {
    case ExportFormat::psd:
        return "background, smooth, light (moved), light, colour and grain: the light layer's opacity is the strength "
               "and the colour layer's is the colour, live in photoshop. the grain layer is there either way, hidden "
               "when film grain is off. always 16-bit, in the original's own profile.";
    case ExportFormat::tiff:
        return tiffLayered ? "the same layers inside a tiff (photoshop reads them; photo applications that take the "
                             "tiff back see the flat result)."
                           : "a flat tiff of the result.";
    case ExportFormat::jpeg:
        return "flat, sRGB by default. an iphone original's hdr headroom is kept when the file can carry it.";
    case ExportFormat::png: return "flat, lossless.";
    case ExportFormat::heic: return "flat, small, and keeps an iphone original's hdr headroom.";
    }
    return {};
}

std::string joined(const std::vector<ExportFormat>& formats, std::string_view separator)
{
    std::string text;
    for (ExportFormat format : formats) {
        if (!text.empty()) text += separator;
        text += rawValue(format);
    }
    return text;
}

} // namespace

std::string exportTitle(int resultCount)
{
    return "export " + counted(resultCount, "result");
}

std::string formatsPhrase(const std::vector<ExportFormat>& formats)
{
    if (formats.size() < 2) return joined(formats, "");
    const std::vector<ExportFormat> allButLast(formats.begin(), formats.end() - 1);
    return joined(allButLast, ", ") + " and " + std::string(rawValue(formats.back()));
}

ExportSheetState exportSheetState(const std::vector<ExportFormat>& formats, bool tiffLayered, int resultCount,
                                  bool mentionCompare)
{
    const bool several = formats.size() >= 2;
    const bool tiff = has(formats, ExportFormat::tiff);
    const bool flatTiff = tiff && !tiffLayered;
    ExportSheetState state;
    state.title = exportTitle(resultCount);
    state.mentionCompare = mentionCompare;
    state.formatsHeading = several ? "formats · each into its own folder" : "format · choose as many as you like";
    for (ExportFormat format : formats) state.selection.insert(std::string(rawValue(format)));
    state.tiffLayersSwitch = tiff;
    state.colourChoice = has(formats, ExportFormat::jpeg) || has(formats, ExportFormat::png) ||
                         has(formats, ExportFormat::heic) || flatTiff;
    state.sixteenBitSwitch = has(formats, ExportFormat::png) || flatTiff;
    state.qualityRow = has(formats, ExportFormat::jpeg) || has(formats, ExportFormat::heic);
    for (ExportFormat format : formats)
        state.notes.push_back((several ? std::string(rawValue(format)) + ": " : "") + noteFor(format, tiffLayered));
    if (several) state.destination = "in the folder you choose: " + joined(formats, ", ") + ".";
    const std::string phrase = formatsPhrase(formats);
    state.exportButton = "export " + phrase + "…";
    state.panelMessage =
        phrase + (several ? ", each into its own folder in the one you choose" : ", into the folder you choose");
    return state;
}

bool shouldMentionCompare(bool comparedThisBatch, std::optional<Date> compareLastUsed, Date now)
{
    constexpr auto week = std::chrono::seconds(604'800);
    return !comparedThisBatch && (!compareLastUsed || now - *compareLastUsed >= week);
}

} // namespace oxel
