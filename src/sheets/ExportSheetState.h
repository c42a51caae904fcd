#pragma once

#include "export/ExportOptions.h"
#include "library/InternetDate.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace oxel {

// What the export sheet shows for a choice of formats: which sections stand, the texts and the
// folder panel's words. Sections that always stand (capture date, grain, notes) have no flag.
struct ExportSheetState {
    std::string title;
    bool mentionCompare = false;
    std::string formatsHeading;
    std::set<std::string> selection; // raw values of the chosen formats
    bool tiffLayersSwitch = false;
    bool colourChoice = false;
    bool sixteenBitSwitch = false;
    bool qualityRow = false;
    std::vector<std::string> notes;
    std::optional<std::string> destination; // "in the folder you choose: …" with two or more formats
    std::string exportButton;
    std::string panelMessage;
    static constexpr std::string_view panelPrompt = "export here";
};

// `formats` never empty, in list order.
ExportSheetState exportSheetState(const std::vector<ExportFormat>& formats, bool tiffLayered, int resultCount,
                                  bool mentionCompare);

// The raw values as a phrase: "psd"; "psd and jpeg"; "psd, tiff and jpeg".
std::string formatsPhrase(const std::vector<ExportFormat>& formats);

// Whether the sheet suggests comparing first: not yet compared in this batch, and no compare in
// the last seven days.
bool shouldMentionCompare(bool comparedThisBatch, std::optional<Date> compareLastUsed, Date now);

// "export 1 result", "export 0 results".
std::string exportTitle(int resultCount);

} // namespace oxel
