#pragma once

#include "export/ExportOptions.h"
#include "model/ModelSettings.h"
#include "platform/SettingsStore.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// The chosen formats stored as text: comma-separated raw values, matched exactly (a piece with a
// space or in capitals matches nothing), each kept once, in list order; [psd] when none is left.
std::vector<ExportFormat> parseExportFormats(std::string_view stored);
// The text a set of raw values is stored as: the known ones in list order, joined by ",".
std::string storedExportFormats(const std::set<std::string>& rawValues);
// "embedded" unless the text is exactly "sRGB".
ExportColour parseExportColour(std::string_view stored);

// The export settings as the user defaults hold them, one key a setting, read afresh on each
// call and written at once by each setter.
class ExportPreferences {
public:
    static constexpr std::string_view formatsKey = ModelSettings::exportFormatsKey;
    static constexpr std::string_view colourKey = "exportColour";
    static constexpr std::string_view sixteenBitKey = "exportSixteenBit";
    static constexpr std::string_view tiffLayeredKey = "exportTiffLayered";
    static constexpr std::string_view jpegQualityKey = "exportJpegQuality";
    static constexpr std::string_view inheritDateKey = "exportInheritDate";
    static constexpr std::string_view lastFolderKey = "exportLastFolder";

    static constexpr double lowestQuality = 0.6;
    static constexpr double highestQuality = 1.0;

    explicit ExportPreferences(SettingsStore& store) : store_(store) {}

    std::vector<ExportFormat> formats() const;
    // Stores the set of raw values; the sheet's control never hands over an empty one.
    void setFormats(const std::set<std::string>& rawValues);
    std::string colourRaw() const;
    void setColourRaw(std::string_view raw);
    bool sixteenBit() const;
    void setSixteenBit(bool on);
    bool tiffLayered() const;
    void setTiffLayered(bool on);
    double jpegQuality() const;
    void setJpegQuality(double quality);
    // For a control that moves many times a second: read at once, written to the file by `flush`
    // (or by the store's next write).
    void holdJpegQuality(double quality);
    void flush() { store_.flush(); }
    bool inheritDate() const;
    void setInheritDate(bool on);

    // The folder the sheet last exported into; the next folder panel opens there.
    std::optional<std::filesystem::path> lastFolder() const;
    void setLastFolder(const std::filesystem::path& folder);

    // One options record per chosen format, in list order, every field set.
    std::vector<ExportOptions> options() const;

private:
    bool flag(std::string_view key) const;

    SettingsStore& store_;
};

} // namespace oxel
