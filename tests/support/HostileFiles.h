#pragma once

// Files that are small on disk but claim much more work or memory than they hold, written byte by
// byte so that each lie is exactly the one a test means.

#include <cstdint>
#include <vector>

namespace oxel::test {

// A progressive JPEG whose every block is flat grey: one DC scan over all components, then
// `acScansPerComponent` rounds of first AC scans per component, each of them a few end-of-band
// runs that make the decoder pass over every block again. Repeating the first AC scan with the
// same bit position is legal, and libjpeg warns about none of it.
std::vector<uint8_t> flatProgressiveJPEG(int width, int height, int components, int acScansPerComponent);

// An uncompressed TIFF whose strips (one row each) all point at the same bytes, so that a file of
// one row's size claims the whole picture, padded to a few thousandths of the size it claims.
// `bits` 8 or 32 (float samples).
std::vector<uint8_t> sharedStripTIFF(int width, int height, int samplesPerPixel, int bits);

} // namespace oxel::test
