#pragma once

#include "develop/codecs/Metadata.h"

#include <string_view>

namespace oxel {

// The metadata of an exported flat file, made from the original's: its Exif (less the tags that
// describe the original's pixels, which the written picture replaces with its own), GPS, IPTC
// and maker notes, with "oxel pro <version>" as the software. The original's XMP is not carried.
// Without `inheritCaptureDate` the capture, digitising and modification dates are removed.
Metadata exportMetadata(const Metadata& original, bool inheritCaptureDate, std::string_view appVersion);

// Gives the Exif the resolution of `dpi` pixels per inch when it states none: originals whose
// files keep their resolution elsewhere (PNG, JFIF, document resources) keep it in the export.
void addResolution(Metadata& metadata, double dpi);

} // namespace oxel
