#include "develop/SourceImage.h"

#include "develop/SourceDecoding.h"
#include "develop/codecs/GainMapLocator.h"
#include "develop/colour/ColourTransform.h"

namespace oxel {

SourceImage::LoadError::LoadError(const std::filesystem::path& file)
    : std::runtime_error("could not read " + file.filename().string()), url_(file)
{}

const ColourSpace& SourceImage::sRGB()
{
    return ColourSpace::sRGB();
}

namespace {

std::optional<double> dpiFromExif(const Metadata& metadata)
{
    const auto resolution = metadata.number("Exif.Image.XResolution");
    if (!resolution || !(*resolution > 0)) return std::nullopt;
    return metadata.integer("Exif.Image.ResolutionUnit") == 3 ? *resolution * 2.54 : *resolution;
}

bool swapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

} // namespace

SourceImage SourceImage::load(const std::filesystem::path& file, Check check)
{
    const auto stamp = FileState::of(file);
    if (!stamp) throw LoadError(file);
    const auto bytes = readStampedFile(file, *stamp);
    if (!bytes) throw LoadError(file);
    const auto picture = readPictureFile(*bytes);
    if (!picture) throw LoadError(file);

    const PictureHeader& header = picture->header;
    SourceImage source;
    source.url = file;
    source.fileType = picture->type;
    source.stamp = *stamp;
    source.orientation = header.orientation >= 1 && header.orientation <= 8 ? header.orientation : 1;
    source.pixelWidth = swapsSides(source.orientation) ? header.height : header.width;
    source.pixelHeight = swapsSides(source.orientation) ? header.width : header.height;
    const ResolvedColour colour = resolveColour(header);
    source.colorSpace = colour.space;
    source.profileFellBack = colour.fellBack;
    source.bitsPerComponent = header.bitsPerComponent > 0 ? header.bitsPerComponent : 8;
    source.dpi = header.dpi.value_or(dpiFromExif(header.metadata).value_or(300));
    source.properties = header.metadata;
    source.utType = std::string(typeIdentifier(picture->type));
    source.image = lazyStoredPicture(file, *stamp, *picture).oriented(source.orientation);
    source.carriesGainMap = containsGainMap(*bytes);
    const bool knownWhole = check == Check::readBefore && picture->type == FileType::jpeg;
    if (!knownWhole && !source.intakeThumbnail(*bytes, *picture)) throw LoadError(file);
    return source;
}

std::optional<FileBytes> SourceImage::gainMapFile() const
{
    if (!carriesGainMap) return std::nullopt;
    return readStampedFile(url, stamp);
}

std::optional<Bitmap> SourceImage::storedPixels() const
{
    return storedBitmap(url, stamp);
}

} // namespace oxel
