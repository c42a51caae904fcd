#pragma once

#include "export/ExportOptions.h"
#include "library/BatchItem.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// What a tile shows, worked out from its item alone so that the grid can ask for it cheaply and
// the rules can be checked without building a widget.
namespace tile {

// Which picture fills the picture block. Only the thumbnail is ever dimmed.
struct Picture {
    enum class Kind { none, originalPreview, developedCopy, developedPreview, developedThumbnail, thumbnail };
    Kind kind = Kind::none;
    double opacity = 1;
    bool operator==(const Picture&) const = default;
};
Picture chosenPicture(const BatchItem& item, bool comparing);
// The handle of the chosen picture; nothing for an empty block or the item's developed copy, which
// is a bitmap of its own.
std::optional<PictureHandle> pictureHandle(const BatchItem& item, const Picture& picture);

// The card laid over the picture for the item's phase.
struct PhaseCard {
    enum class Kind { none, caption, progress, failure };
    Kind kind = Kind::none;
    std::string caption; // the caption word, or the failure text
    bool retry = false;  // the failure card offers "retry"
    bool operator==(const PhaseCard&) const = default;
};
PhaseCard phaseCard(const ItemPhase& phase);

inline constexpr int progressDotCount = 4;
// Seconds since the job started, never negative (a clock set back must not run the time backwards).
double elapsedSeconds(const std::optional<Date>& startedAt, Date now);
// How far the progress dots have filled: grows over two and a half minutes and never completes.
double elapsedProgress(const std::optional<Date>& startedAt, Date now);
// Minutes and seconds, minutes not capped: "2:05", "75:00".
std::string elapsedText(const std::optional<Date>& startedAt, Date now);
// The status word, " · ", the elapsed time.
std::string statusLine(const phase::Processing& processing, const std::optional<Date>& startedAt, Date now);
// The narration's direction when the job says one, else nothing.
std::optional<std::string> directionLine(const phase::Processing& processing);

// The export card's line while an export of the item is queued or writing, else nothing.
std::optional<std::string> exportCardText(const BatchItem& item);

// The original's pixel facts beside the file name: full facts once loaded, else the recorded size.
std::string detailsLine(const BatchItem& item);
// The file name shown in the caption row.
std::string fileName(const BatchItem& item);

// Whether the tile's light track may be moved: the lightbox's rule, and the original is at hand.
// (Whether the tile's colour row shows is the lightbox's rule alone.)
bool lightTrackEnabled(const BatchItem& item);
// Whether the results screen shows "none · colour only" in place of the light row.
bool showsColourOnlyMarker(const BatchItem& item);

// The single export's proposed file name: the export file name of the original's stem as a PSD,
// "IMG_7-oxel.psd" or "IMG_7-colour-only.psd".
std::string proposedExportName(const BatchItem& item);
// The chosen file as written: a name without a layered extension (psd, tif, tiff in any case)
// gets "." and `extension` (psd unless the TIFF type was chosen), so the bytes always match the name.
std::filesystem::path layeredExportTarget(std::filesystem::path chosen,
                                          std::string_view extension = fileExtension(ExportFormat::psd));
// TIFF for "tif" and "tiff" in any case, PSD otherwise.
ExportFormat layeredExportFormat(const std::filesystem::path& target);
// The single export's fixed options.
ExportOptions singleExportOptions(const std::filesystem::path& target);

} // namespace tile
} // namespace oxel
