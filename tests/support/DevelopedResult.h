#pragma once

#include "imaging/PictureHandle.h"
#include "library/JobOutcome.h"

#include <memory>
#include <optional>
#include <string>

namespace oxel::testing {

// A picture in a warm gradient, as a preview or a look thumbnail would show one.
PictureHandle gradientPicture(int width, int height, int warmth = 0);

// What a developed result carries, as far as the bands, the lightbox and the tile read it.
struct ResultShape {
    bool colourOnly = false;
    std::optional<float> divergence = 0.1f; // a preview plan with this divergence; none: declined
    bool looks = true;
    bool runnerUp = true;
    int lookThumbs = 2;
    int thumbHeight = 60;
    std::string brief = "warm late sun, lifted shadows";
};
std::shared_ptr<JobOutcome> developedResult(const ResultShape& shape = {});

} // namespace oxel::testing
