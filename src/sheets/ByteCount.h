#pragma once

#include <cstdint>
#include <string>

namespace oxel {

// A file size as the file manager writes it, lower-cased, in decimal units: "zero kb", "1 byte",
// "999 bytes", "12 kb", "3.4 mb", "1.23 gb". Kilobytes are whole, megabytes carry one decimal and
// larger units two, trailing zeros dropped; a value that rounds up to 1000 of a unit is written
// in the next.
std::string fileSizeText(int64_t bytes);

} // namespace oxel
