// The layered TIFF: a plain big-endian, uncompressed 16-bit RGB TIFF of the composite whose
// Photoshop data block (tag 37724) carries the layers.
#include "export/ExportOptions.h"
#include "export/PSDWriter.h"

#include <cmath>
#include <string_view>

namespace oxel {

namespace {

constexpr std::string_view blockSignature = "Adobe Photoshop Document Data Block";
constexpr uint64_t largestTIFF = 3'999'999'999;

enum TIFFType : uint16_t { ascii = 2, shortType = 3, longType = 4, rational = 5, undefined = 7 };

struct StripPlan {
    uint64_t rowsPerStrip = 1;
    uint64_t count = 1;
};

StripPlan stripPlan(int64_t width, int64_t height)
{
    const uint64_t rowBytes = uint64_t(width) * 6;
    uint64_t rows = std::max<uint64_t>(1, std::min<uint64_t>(8'388'608 / rowBytes, uint64_t(height)));
    return {rows, (uint64_t(height) + rows - 1) / rows};
}

uint64_t even(uint64_t offset)
{
    return offset + offset % 2;
}

void putEntry(ByteWriter& out, uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
{
    out.putU16(tag);
    out.putU16(type);
    out.putU32(count);
    if (type == shortType && count == 1) {
        out.putU16(uint16_t(value));
        out.putU16(0);
    } else {
        out.putU32(value);
    }
}

} // namespace

void PSDWriter::writeTIFF(const std::filesystem::path& destination, const FileAssembly& layerInfo,
                          const std::filesystem::path& composite) const
{
    const StripPlan strips = stripPlan(width, height);
    const uint64_t s = strips.count;
    const std::vector<uint8_t> icc = iccProfile.value_or(std::vector<uint8_t>{});
    const char software[] = "oxel pro";

    const uint64_t blockBytes = 48 + layerInfo.length() + (4 - layerInfo.length() % 4) % 4;
    // libtiff refuses a profile tag of no bytes, and with it the whole file: without a profile the
    // tag is left out, and everything after the directory moves up by its 12 bytes.
    const bool hasProfile = !icc.empty();
    const uint16_t entryCount = hasProfile ? 16 : 15;
    const uint64_t bitsPerSampleAt = 8 + 2 + 12 * uint64_t(entryCount) + 4;
    const uint64_t stripOffsetsAt = bitsPerSampleAt + 6;
    const uint64_t stripCountsAt = stripOffsetsAt + 4 * s;
    const uint64_t xResolutionAt = stripOffsetsAt + 8 * s;
    const uint64_t yResolutionAt = xResolutionAt + 8;
    const uint64_t softwareAt = yResolutionAt + 8;
    const uint64_t iccAt = even(softwareAt + sizeof software);
    const uint64_t blockAt = even(iccAt + icc.size());
    const uint64_t imageAt = even(blockAt + blockBytes);
    const uint64_t rowBytes = uint64_t(width) * 6;
    if (imageAt + rowBytes * uint64_t(height) > largestTIFF) throw PSDWriterError::tooLarge();

    FileAssembly file;
    ByteWriter& out = file.bytes();
    out.append("MM");
    out.putU16(42);
    out.putU32(8);
    out.putU16(entryCount);
    const uint64_t firstStripBytes = strips.rowsPerStrip * rowBytes;
    putEntry(out, 256, longType, 1, uint32_t(width));
    putEntry(out, 257, longType, 1, uint32_t(height));
    putEntry(out, 258, shortType, 3, uint32_t(bitsPerSampleAt));
    putEntry(out, 259, shortType, 1, 1);
    putEntry(out, 262, shortType, 1, 2);
    putEntry(out, 273, longType, uint32_t(s), uint32_t(s == 1 ? imageAt : stripOffsetsAt));
    putEntry(out, 277, shortType, 1, 3);
    putEntry(out, 278, longType, 1, uint32_t(strips.rowsPerStrip));
    putEntry(out, 279, longType, uint32_t(s), uint32_t(s == 1 ? firstStripBytes : stripCountsAt));
    putEntry(out, 282, rational, 1, uint32_t(xResolutionAt));
    putEntry(out, 283, rational, 1, uint32_t(yResolutionAt));
    putEntry(out, 284, shortType, 1, 1);
    putEntry(out, 296, shortType, 1, 2);
    putEntry(out, 305, ascii, sizeof software, uint32_t(softwareAt));
    if (hasProfile) putEntry(out, 34675, undefined, uint32_t(icc.size()), uint32_t(iccAt));
    putEntry(out, 37724, undefined, uint32_t(blockBytes), uint32_t(blockAt));
    out.putU32(0);

    out.putU16(16);
    out.putU16(16);
    out.putU16(16);
    for (uint64_t i = 0; i < s; ++i) out.putU32(uint32_t(imageAt + i * firstStripBytes));
    for (uint64_t i = 0; i < s; ++i) {
        const uint64_t rows = std::min<uint64_t>(strips.rowsPerStrip, uint64_t(height) - i * strips.rowsPerStrip);
        out.putU32(uint32_t(rows * rowBytes));
    }
    const double rounded = std::round(dpi);
    const uint32_t resolution = !(rounded > 0) ? 0 : rounded >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(rounded);
    for (int i = 0; i < 2; ++i) {
        out.putU32(resolution);
        out.putU32(1);
    }
    out.append(std::string_view(software, sizeof software));
    out.putZeros(size_t(iccAt - softwareAt - sizeof software));
    out.append(icc);
    out.putZeros(size_t(blockAt - iccAt - icc.size()));

    out.append(blockSignature);
    out.putU8(0);
    out.append("8BIMLr16");
    out.putU32(uint32_t(layerInfo.length()));
    file.append(layerInfo);
    ByteWriter& tail = file.bytes();
    tail.putZeros(size_t(blockBytes - 48 - layerInfo.length()));
    tail.putZeros(size_t(imageAt - blockAt - blockBytes));
    file.appendFile(composite, rowBytes * uint64_t(height));
    writeThroughTemporary(file, destination, layeredTemporarySuffix(ExportFormat::tiff), beforeReplacing);
}

} // namespace oxel
