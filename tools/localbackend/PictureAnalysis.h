#pragma once

#include "develop/grade/GradeTheory.h"
#include "localbackend/LocalRelight.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace oxel::local {

// What the local backend measures of a picture, from a sample of its pixels.
struct PictureStatistics {
    double luma = 0;        // mean, 0..1
    double contrast = 0;    // standard deviation of luma
    double saturation = 0;  // mean of (max - min) / max
    double redOverBlue = 1; // mean red / mean blue
    double red = 0, green = 0, blue = 0;

    static PictureStatistics measure(const RgbPicture& picture);
};

// The house look cell the statistics point to, and the density next to its own that a second
// opinion would take.
GradeTheory::Cell houseCell(const PictureStatistics& statistics);
GradeTheory::Density neighbourDensity(GradeTheory::Density density, const PictureStatistics& statistics);

// Too little colour for any look to help.
bool isBlackAndWhite(const PictureStatistics& statistics);

// The analysis of a result: words, grain levels and the suggested grade with its house look and
// runner-up, all chosen from the statistics.
nlohmann::json analysisJson(const PictureStatistics& statistics);

// The narration steps shown while the job works: descriptors, intent, direction.
nlohmann::json narrationJson(const PictureStatistics& statistics, int steps);

} // namespace oxel::local
