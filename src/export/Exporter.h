#pragma once

#include "export/ExportFailure.h"
#include "export/ExportOptions.h"
#include "export/ExportReport.h"
#include "export/FlatWriter.h"

#include "develop/DevelopInput.h"
#include "develop/DevelopSettings.h"
#include "develop/SourceImage.h"

#include <filesystem>
#include <functional>

namespace oxel {

using ExportProgress = std::function<void(double)>;

// Turns one delivered result into one file: the picture is developed again at the original's
// full size with the preview's settings (detail transfer at the light strength, the grade at the
// colour amount, skin hold, grain when it is switched on), then written as a layered document whose layers rebuild it
// (PSD, or TIFF with `tiffLayered`) or as a flat file. A declined transfer does not fail the
// export: the render is scaled to the original and the report's note says so. Never changes
// the outcome; runs on the caller's thread, rendering through the transfer's context.
ExportResult<ExportReport> exportPicture(const SourceImage& source, const DevelopInput& outcome,
                                         const DevelopSettings& settings, const std::filesystem::path& destination,
                                         const ExportOptions& options, const ExportProgress& progress = {},
                                         const FlatWriteServices& services = {});

} // namespace oxel
