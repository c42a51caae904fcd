// Taking the "original" layer out of a layered file into a plain 16-bit TIFF.
#include "export/OutputFile.h"
#include "export/PSDReader.h"
#include "export/StagingArea.h"
#include "export/TIFFEncoder.h"

#include "imaging/ColourSpace.h"
#include "platform/AtomicFile.h"

#include <lcms2.h>
#include <tiffio.h>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace oxel::PSDReader {

namespace {

class FileSource final : public Source {
public:
    explicit FileSource(const std::filesystem::path& path)
    {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ >= 0) {
            const off_t end = ::lseek(fd_, 0, SEEK_END);
            size_ = end > 0 ? uint64_t(end) : 0;
        }
    }
    ~FileSource() override
    {
        if (fd_ >= 0) ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, void* out, size_t count) const override
    {
        auto bytes = static_cast<uint8_t*>(out);
        while (count > 0) {
            const ssize_t got = ::pread(fd_, bytes, count, off_t(offset));
            if (got <= 0) return false;
            bytes += got;
            count -= size_t(got);
            offset += uint64_t(got);
        }
        return true;
    }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

// The document's profile when a colour engine can open it, else sRGB's.
const std::vector<uint8_t>& usableProfile(const std::vector<uint8_t>& stored)
{
    if (!stored.empty()) {
        if (cmsHPROFILE profile = cmsOpenProfileFromMem(stored.data(), cmsUInt32Number(stored.size()))) {
            cmsCloseProfile(profile);
            return stored;
        }
    }
    return ColourSpace::sRGB().icc;
}

bool writeTIFF(const Original& original, const AtomicFile& file)
{
    const bool big = uint64_t(original.samples.size()) * 2 > 0xF0000000ull;
    const TIFFWriter writer = writeTIFFThrough(file.descriptor(), file.path(), big);
    TIFF* tiff = writer.get();
    if (!tiff) return false;
    const auto& profile = usableProfile(original.iccProfile);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(original.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(original.height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    if (!profile.empty()) TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(profile.size()), profile.data());
    bool written = true;
    std::vector<uint16_t> row(size_t(original.width) * 3);
    for (int64_t y = 0; y < original.height && written; ++y) {
        std::copy_n(original.samples.begin() + std::ptrdiff_t(y * original.width * 3), row.size(), row.begin());
        written = TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) == 1;
    }
    return written && TIFFFlush(tiff) == 1;
}

// The original's metadata, claiming the upright orientation in which the pixels were stored.
bool writeProperties(const std::optional<Metadata>& properties, const AtomicFile& file)
{
    if (!properties) return true;
    Metadata upright = *properties;
    upright.setInteger("Exif.Image.Orientation", 1);
    // Some readers believe the XMP orientation over the Exif one: it must not turn the pixels.
    if (upright.contains("Xmp.tiff.Orientation")) upright.setInteger("Xmp.tiff.Orientation", 1);
    return !upright.writeInto(file.descriptor());
}

} // namespace

bool extractOriginal(const std::filesystem::path& source, const std::filesystem::path& destination,
                     const std::optional<Metadata>& properties)
{
    std::optional<Original> original;
    {
        FileSource file(source);
        if (!file.isOpen()) return false;
        std::error_code ignored;
        std::filesystem::create_directories(destination.parent_path(), ignored);
        original = readOriginal(file);
    }
    if (!original) return false;
    prepareToWriteInto(destination.parent_path());
    AtomicFile temporary(destination, hiddenTemporary(".tif.part"));
    return temporary.created() && writeTIFF(*original, temporary) && writeProperties(properties, temporary) &&
           temporary.commit();
}

} // namespace oxel::PSDReader
