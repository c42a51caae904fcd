#include "sheets/ExportPreferences.h"

#include <algorithm>

namespace oxel {

std::vector<ExportFormat> parseExportFormats(std::string_view stored)
{
    std::set<ExportFormat> chosen;
    size_t start = 0;
    while (start <= stored.size()) {
        const size_t comma = std::min(stored.find(',', start), stored.size());
        if (auto format = exportFormatFromRawValue(stored.substr(start, comma - start))) chosen.insert(*format);
        start = comma + 1;
    }
    if (chosen.empty()) return {ExportFormat::psd};
    // The enumeration's order is the list order.
    return {chosen.begin(), chosen.end()};
}

std::string storedExportFormats(const std::set<std::string>& rawValues)
{
    std::string stored;
    for (ExportFormat format : allExportFormats) {
        const std::string raw(rawValue(format));
        if (!rawValues.contains(raw)) continue;
        if (!stored.empty()) stored += ',';
        stored += raw;
    }
    return stored;
}

ExportColour parseExportColour(std::string_view stored)
{
    return stored == rawValue(ExportColour::sRGB) ? ExportColour::sRGB : ExportColour::embedded;
}

std::vector<ExportFormat> ExportPreferences::formats() const
{
    return parseExportFormats(store_.stringValue(formatsKey).value_or(std::string(rawValue(ExportFormat::psd))));
}

void ExportPreferences::setFormats(const std::set<std::string>& rawValues)
{
    store_.set(formatsKey, std::string_view(storedExportFormats(rawValues)));
}

std::string ExportPreferences::colourRaw() const
{
    return store_.stringValue(colourKey).value_or(std::string(rawValue(ExportColour::embedded)));
}

void ExportPreferences::setColourRaw(std::string_view raw)
{
    store_.set(colourKey, raw);
}

bool ExportPreferences::flag(std::string_view key) const
{
    return store_.boolValue(key).value_or(true);
}

bool ExportPreferences::sixteenBit() const
{
    return flag(sixteenBitKey);
}

void ExportPreferences::setSixteenBit(bool on)
{
    store_.set(sixteenBitKey, on);
}

bool ExportPreferences::tiffLayered() const
{
    return flag(tiffLayeredKey);
}

void ExportPreferences::setTiffLayered(bool on)
{
    store_.set(tiffLayeredKey, on);
}

double ExportPreferences::jpegQuality() const
{
    return store_.doubleValue(jpegQualityKey).value_or(0.95);
}

void ExportPreferences::setJpegQuality(double quality)
{
    store_.set(jpegQualityKey, std::clamp(quality, lowestQuality, highestQuality));
}

std::optional<std::filesystem::path> ExportPreferences::lastFolder() const
{
    const auto stored = store_.stringValue(lastFolderKey);
    if (!stored || stored->empty()) return std::nullopt;
    return std::filesystem::path(*stored);
}

void ExportPreferences::setLastFolder(const std::filesystem::path& folder)
{
    store_.set(lastFolderKey, folder.string());
}

void ExportPreferences::holdJpegQuality(double quality)
{
    store_.setValuesUnwritten({{std::string(jpegQualityKey), std::clamp(quality, lowestQuality, highestQuality)}});
}

bool ExportPreferences::inheritDate() const
{
    return flag(inheritDateKey);
}

void ExportPreferences::setInheritDate(bool on)
{
    store_.set(inheritDateKey, on);
}

std::vector<ExportOptions> ExportPreferences::options() const
{
    std::vector<ExportOptions> records;
    for (ExportFormat format : formats())
        records.push_back(ExportOptions{format, parseExportColour(colourRaw()), sixteenBit(), jpegQuality(),
                                        tiffLayered(), inheritDate()});
    return records;
}

} // namespace oxel
