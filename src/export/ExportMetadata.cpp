#include "export/ExportMetadata.h"

#include <array>
#include <cmath>
#include <string>

namespace oxel {

namespace {

// Tags that describe how the original stored its pixels: its orientation, size, depth, layout,
// profile, thumbnail and embedded blocks. The written file states its own.
constexpr std::array<std::string_view, 27> pixelStructureKeys = {"Exif.Image.Orientation",
                                                                 "Exif.Image.ImageWidth",
                                                                 "Exif.Image.ImageLength",
                                                                 "Exif.Image.BitsPerSample",
                                                                 "Exif.Image.Compression",
                                                                 "Exif.Image.PhotometricInterpretation",
                                                                 "Exif.Image.SamplesPerPixel",
                                                                 "Exif.Image.PlanarConfiguration",
                                                                 "Exif.Image.StripOffsets",
                                                                 "Exif.Image.StripByteCounts",
                                                                 "Exif.Image.RowsPerStrip",
                                                                 "Exif.Image.TileWidth",
                                                                 "Exif.Image.TileLength",
                                                                 "Exif.Image.TileOffsets",
                                                                 "Exif.Image.TileByteCounts",
                                                                 "Exif.Image.ExtraSamples",
                                                                 "Exif.Image.SampleFormat",
                                                                 "Exif.Image.NewSubfileType",
                                                                 "Exif.Image.SubIFDs",
                                                                 "Exif.Image.InterColorProfile",
                                                                 "Exif.Image.XMLPacket",
                                                                 "Exif.Image.IPTCNAA",
                                                                 "Exif.Image.ImageResources",
                                                                 "Exif.Image.JPEGInterchangeFormat",
                                                                 "Exif.Image.JPEGInterchangeFormatLength",
                                                                 "Exif.Photo.PixelXDimension",
                                                                 "Exif.Photo.PixelYDimension"};

// The dates a photographer who doesn't want the capture date carried expects gone, with the
// parts that only qualify them: Exif's and TIFF's, IPTC's, which readers compose into a capture
// date of their own and which a HEIC file carries on as XMP, and the GPS clock's, which a phone
// stamps on every geotagged picture (the position stays). The Exif IFD's TimeZoneOffset, which
// some programs write there rather than in IFD0, has no name in the metadata library.
constexpr std::array<std::string_view, 18> captureDateKeys = {"Exif.Image.DateTime",
                                                              "Exif.Image.DateTimeOriginal",
                                                              "Exif.Image.TimeZoneOffset",
                                                              "Exif.Photo.0x882a",
                                                              "Exif.Photo.DateTimeOriginal",
                                                              "Exif.Photo.DateTimeDigitized",
                                                              "Exif.Photo.SubSecTime",
                                                              "Exif.Photo.SubSecTimeOriginal",
                                                              "Exif.Photo.SubSecTimeDigitized",
                                                              "Exif.Photo.OffsetTime",
                                                              "Exif.Photo.OffsetTimeOriginal",
                                                              "Exif.Photo.OffsetTimeDigitized",
                                                              "Iptc.Application2.DateCreated",
                                                              "Iptc.Application2.TimeCreated",
                                                              "Iptc.Application2.DigitizationDate",
                                                              "Iptc.Application2.DigitizationTime",
                                                              "Exif.GPSInfo.GPSDateStamp",
                                                              "Exif.GPSInfo.GPSTimeStamp"};

} // namespace

Metadata exportMetadata(const Metadata& original, bool inheritCaptureDate, std::string_view appVersion)
{
    Metadata metadata = original;
    metadata.removeIf([inheritCaptureDate](std::string_view key) {
        if (key.starts_with("Xmp.") || key.starts_with("Exif.Thumbnail.")) return true;
        for (std::string_view structural : pixelStructureKeys)
            if (key == structural) return true;
        if (!inheritCaptureDate)
            for (std::string_view date : captureDateKeys)
                if (key == date) return true;
        return false;
    });
    metadata.setText("Exif.Image.Software", "oxel pro " + std::string(appVersion));
    return metadata;
}

void addResolution(Metadata& metadata, double dpi)
{
    if (metadata.contains("Exif.Image.XResolution") || !(dpi > 0) || dpi >= 1e6) return;
    const std::string rational = std::to_string(std::llround(dpi * 100)) + "/100";
    metadata.setText("Exif.Image.XResolution", rational);
    metadata.setText("Exif.Image.YResolution", rational);
    metadata.setText("Exif.Image.ResolutionUnit", "2");
}

} // namespace oxel
