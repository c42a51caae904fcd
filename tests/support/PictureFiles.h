#pragma once

// Test pictures made with the real encoders, so that every reader test starts from bytes that an
// independent writer produced.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct heif_context;

namespace oxel::test {

using Bytes = std::vector<uint8_t>;

// A sample of channel c (0-based) at (x, y), 0...1.
using Pattern = std::function<double(int x, int y, int c)>;

// A smooth gradient that tells every corner and channel apart.
double gradient(int x, int y, int c, int width, int height);
Pattern gradientOf(int width, int height);

struct JPEGOptions {
    int quality = 95;
    int components = 3; // 1 grey, 3 RGB, 4 CMYK (stored inverted, as Adobe writes it)
    Bytes icc;
    Bytes exif;                       // TIFF-structured, without the "Exif\0\0" header
    std::vector<Bytes> extraSegments; // whole APPn segments after the Exif, marker included
};
Bytes encodeJPEG(int width, int height, const Pattern& pattern, const JPEGOptions& options = {});

struct PNGOptions {
    int bitDepth = 8;
    int channels = 3; // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA
    Bytes icc;
    bool sRGBChunk = false;
    bool alphaFromPattern = false; // alpha is channel 3 of the pattern; opaque otherwise
    bool interlaced = false;
};
Bytes encodePNG(int width, int height, const Pattern& pattern, const PNGOptions& options = {});

struct TIFFOptions {
    int bitsPerSample = 8;   // 8, 16 or 32 (float)
    int samplesPerPixel = 3; // 1 grey, 3 RGB, 4 CMYK, with one more when `alpha`
    bool alpha = false;      // the last sample is unassociated alpha, channel 3 of the pattern
    bool planar = false;
    int orientation = 1;
    Bytes icc{};
    double dpi = 0;           // 0 leaves the resolution out
    int photometric = -1;     // -1 chooses by the samples; 8 writes CIELab (L, then signed a and b)
    bool whiteIsZero = false; // grey stored inverted
    bool palette = false;     // 8-bit indices (channel 0 of the pattern) into a colour map
    int tileSize = 0;         // square tiles of this side (a multiple of 16) instead of strips
    bool large = false;       // the variant with eight-byte offsets
    Bytes iptc{};             // the IPTC tag's bytes as they are
    Bytes photoshopResources{};
};
Bytes encodeTIFF(int width, int height, const Pattern& pattern, const TIFFOptions& options = {});

struct HeicOptions {
    int quality = 90;
    Bytes icc;
    Bytes exif; // TIFF-structured
    int bitDepth = 8;
    // A thumbnail item of this size, drawn from the same pattern, when both are positive.
    int thumbnailWidth = 0;
    int thumbnailHeight = 0;
};
Bytes encodeHeic(int width, int height, const Pattern& pattern, const HeicOptions& options = {});
// The file libheif writes for a context.
Bytes heifFileBytes(heif_context* context);

struct PSDOptions {
    int depth = 8;         // 8 or 16
    int mode = 3;          // 1 grey, 3 RGB, 4 CMYK
    int extraChannels = 0; // alpha channels after the colour planes
    bool rle = false;
    bool large = false; // PSB
    Bytes icc{};
    Bytes exif{};
    Bytes iptc{};
    double dpi = 0;
    int resolutionUnit = 1; // how the document shows its resolution: 1 inches, 2 centimetres
};
Bytes encodePSD(int width, int height, const Pattern& pattern, const PSDOptions& options = {});

// A whole APP1 segment carrying an XMP packet, for JPEGOptions::extraSegments.
Bytes xmpSegment(const std::string& packet);

// XMP packets describing a gain map in the two vocabularies.
std::string isoGainMapXmp(const std::string& attributes); // e.g. R"(hdrgm:GainMapMin="0" hdrgm:GainMapMax="2")"
std::string appleGainMapXmp();

// A JPEG file of several pictures: `primary` gains a Multi-Picture Format index listing itself and
// every secondary picture, which follow it in order.
Bytes assembleMultiPictureJPEG(const Bytes& primary, const std::vector<Bytes>& secondaries);

Bytes readFile(const std::filesystem::path& path);
// Throws when the file cannot be written whole.
void writeFile(const std::filesystem::path& path, const Bytes& bytes);

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Runs a command line and returns what it printed on standard output.
std::string run(const std::string& command);

// The canonical profiles of the project's resources.
Bytes iccProfile(const std::string& name); // "sRGB", "DisplayP3", "AdobeRGB1998", "ProPhotoRGB"
// An input CMYK profile whose inks mix like the plain complement, darkened by a tenth, so that a
// conversion through it tells itself apart from one without it.
Bytes cmykProfile();
// A grey profile with a linear tone curve.
Bytes linearGreyProfile();
// A wide RGB profile no platform names, with the given description.
Bytes customProfile(const std::string& description);

} // namespace oxel::test
