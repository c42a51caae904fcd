#include "library/OriginalRef.h"

#include "platform/FileBookmark.h"

#include <cmath>
#include <sstream>

namespace oxel {

namespace {

namespace fs = std::filesystem;

// One "n/d" rational of exiv2's text; nothing for a zero denominator or other text.
std::optional<double> rational(const std::string& text)
{
    std::istringstream in(text);
    double numerator = 0, denominator = 0;
    char slash = 0;
    if (!(in >> numerator >> slash >> denominator) || slash != '/' || !in.eof()) return std::nullopt;
    if (denominator == 0) return std::nullopt;
    return numerator / denominator;
}

// Degrees, minutes and seconds as exiv2 writes a GPS position ("48/1 51/1 2394/100"); one or two
// components are degrees, or degrees and minutes.
std::optional<double> degrees(const Metadata& properties, const char* key)
{
    const auto text = properties.text(key);
    if (!text) return std::nullopt;
    std::istringstream parts(*text);
    double value = 0, unit = 1;
    int count = 0;
    for (std::string part; parts >> part; unit *= 60) {
        const auto component = rational(part);
        if (!component || ++count > 3) return std::nullopt;
        value += *component / unit;
    }
    if (count == 0 || !std::isfinite(value)) return std::nullopt;
    return value;
}

bool hasGPS(const Metadata& properties)
{
    for (const auto& key : properties.keys())
        if (key.starts_with("Exif.GPSInfo.")) return true;
    return false;
}

void setPosition(OriginalRef& ref, const Metadata& properties)
{
    if (!hasGPS(properties)) return;
    const auto latitude = degrees(properties, "Exif.GPSInfo.GPSLatitude");
    const auto longitude = degrees(properties, "Exif.GPSInfo.GPSLongitude");
    if (!latitude || !longitude) return;
    ref.latitude = properties.text("Exif.GPSInfo.GPSLatitudeRef") == "S" ? -*latitude : *latitude;
    ref.longitude = properties.text("Exif.GPSInfo.GPSLongitudeRef") == "W" ? -*longitude : *longitude;
}

// Exif (with GPS and the auxiliary Exif) and IPTC; XMP stays with the file.
std::vector<uint8_t> keptMetadata(const Metadata& properties)
{
    Metadata kept = properties;
    kept.removeIf([](std::string_view key) { return key.starts_with("Xmp."); });
    return kept.serialized();
}

} // namespace

OriginalRef OriginalRef::make(const fs::path& file, const SourceImage& source, bool handoff,
                              std::optional<std::string> sender, const Volumes& volumes)
{
    OriginalRef ref;
    ref.bookmark = FileBookmark::make(file, volumes);
    ref.volume = volumes.volumeName(file);
    setPosition(ref, source.properties);
    if (handoff) ref.metadata = keptMetadata(source.properties);
    ref.path = file.string();
    ref.stamp = FileStamp::of(file);
    ref.pixels = {source.pixelWidth, source.pixelHeight};
    ref.captured = SourceImage::captureDate(source.properties);
    ref.handoff = handoff;
    ref.sender = std::move(sender);
    return ref;
}

std::optional<OriginalRef::Resolution> OriginalRef::resolve(const Volumes& volumes) const
{
    if (bookmark) {
        if (auto found = FileBookmark::resolve(*bookmark, volumes)) {
            if (!found->stale) return Resolution{found->file, std::nullopt};
            return Resolution{found->file, FileBookmark::make(found->file, volumes)};
        }
    }
    std::error_code error;
    if (!path.empty() && fs::exists(path, error)) return Resolution{path, std::nullopt};
    return std::nullopt;
}

std::optional<Metadata> OriginalRef::properties() const
{
    if (!metadata) return std::nullopt;
    return Metadata::deserialized(*metadata);
}

} // namespace oxel
