#pragma once

#include "support/PictureFiles.h"

namespace oxel::test {

// A HEIC photograph whose gain map is an auxiliary image of the primary, as the published layout
// has it: an 'auxl' reference from the map to the primary and an 'auxC' property naming the
// gain-map type, with `mapXmp` attached to the map. libheif writes both pictures; the boxes that
// make the second one auxiliary are added here.
// `primaryTurns` and `mapTurns` add 'irot' properties (anticlockwise quarter turns) to the items.
Bytes heicWithGainMap(int width, int height, int mapWidth, int mapHeight, const Pattern& map, const std::string& mapXmp,
                      int primaryTurns = 0, int mapTurns = 0);

// A HEIC photograph whose primary picture the container turns anticlockwise by `quarterTurns`
// (an 'irot' property); the stored picture is `width` x `height` with the test gradient.
Bytes heicTurned(int width, int height, int quarterTurns);

} // namespace oxel::test
