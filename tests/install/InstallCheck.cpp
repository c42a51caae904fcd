// Develops and exports one picture as an sRGB JPEG, with film grain and without, then checks that
// the grain shows and that the file carries the sRGB profile given. Run from an installed copy
// with the source and build folders out of reach, it shows that developing and exporting need
// nothing from either.
//
//     oxel-install-check <empty folder> <the canonical sRGB profile>
//
// Ends with status 0 when all is well; otherwise it says what is wrong and ends with status 1.

#include "export/Exporter.h"

#include "develop/SourceDecoding.h"

#include <cstdio>
#include <fstream>
#include <iterator>

using namespace oxel;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> bytesOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int failure(const std::string& why)
{
    std::fprintf(stderr, "oxel-install-check: %s\n", why.c_str());
    return 1;
}

// A soft gradient written as a JPEG and read back, as the program reads an original.
SourceImage original(const fs::path& file)
{
    const int64_t width = 96, height = 64;
    auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGB8);
    for (int64_t y = 0; y < height; ++y)
        for (int64_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) bitmap->mutableRow(y)[x * 3 + c] = uint8_t(60 + x + y / 2 + 20 * c);
    ExportOptions jpeg;
    jpeg.format = ExportFormat::jpeg;
    writeFlat(Image::fromBitmap(*bitmap), {}, file, jpeg, ColourSpace::sRGB(), RenderContext());
    return SourceImage::load(file);
}

// Exports the picture relit as itself at half size, with or without grain; nothing when it fails.
std::optional<Bitmap> exported(const SourceImage& source, const fs::path& file, bool grain)
{
    const Image render = materialised(source.image.scaled(0.5, 0.5));
    DevelopInput input("job-installed", render, DetailTransfer(source.image, render, source.colorSpace));
    input.grainLevel = 2;
    ExportOptions options;
    options.format = ExportFormat::jpeg;
    options.colour = ExportColour::sRGB;
    const auto result = exportPicture(source, input, {false, 1.0, 1.0, grain}, file, options);
    if (const auto* failed = std::get_if<ExportFailure>(&result)) {
        std::fprintf(stderr, "oxel-install-check: the export failed: %s\n", failed->description().c_str());
        return std::nullopt;
    }
    return SourceImage::load(file).storedPixels();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return failure("usage: oxel-install-check <empty folder> <the canonical sRGB profile>");
    const fs::path folder = argv[1];
    const auto expectedProfile = bytesOf(argv[2]);
    if (expectedProfile.empty()) return failure(std::string("cannot read the profile ") + argv[2]);

    std::optional<Bitmap> withGrain, without;
    try {
        const SourceImage source = original(folder / "original.jpg");
        withGrain = exported(source, folder / "grain.jpg", true);
        without = exported(source, folder / "plain.jpg", false);
    } catch (const SourceImage::LoadError& error) {
        return failure(error.what());
    }
    if (!withGrain || !without) return 1;

    bool good = true;
    if (withGrain->byteCount() == without->byteCount() &&
        std::equal(withGrain->data(), withGrain->data() + withGrain->byteCount(), without->data())) {
        good = false;
        failure("the export with grain is the same as the one without: there is no grain");
    }
    const auto file = readPictureFile(bytesOf(folder / "grain.jpg"));
    if (!file || file->header.icc != expectedProfile) {
        good = false;
        failure(!file || file->header.icc.empty() ? "the export in sRGB carries no profile"
                                                  : "the export in sRGB carries another profile than sRGB's");
    }
    return good ? 0 : 1;
}
