#include "develop/SourceImage.h"
#include "develop/SourceDecoding.h"
#include "develop/TilePicture.h"
#include "develop/transfer/DetailTransfer.h"
#include "imaging/PictureCache.h"

#include "develop/HEIFGainMapFile.h"
#include "imaging/RenderContext.h"
#include "support/PictureFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sys/resource.h>
#include <thread>
#include <tiffio.h>
#include <zlib.h>

namespace oxel {
namespace {

using test::Bytes;

// The rendered samples of a picture.
struct Samples {
    int64_t width = 0, height = 0;
    std::vector<RGB> values;
    RGB at(int64_t x, int64_t y) const { return values[size_t(y * width + x)]; }
};

Samples render(const Image& image)
{
    const Rect e = image.extent();
    Samples s{int64_t(e.width), int64_t(e.height), {}};
    s.values.resize(size_t(s.width * s.height));
    RenderContext().render(image, PixelRect{0, 0, s.width, s.height}, s.values.data(), size_t(s.width));
    return s;
}

// The picture an independent reader turns upright from the same file, to within 8-bit rounding.
void expectUprightAsIndependentReaderSees(const std::filesystem::path& path, const Samples& ours, int orientation)
{
    const std::string pixels =
        test::run("convert '" + path.string() + "' -auto-orient -depth 8 rgb:- | od -An -v -tu1");
    std::istringstream in(pixels);
    for (int64_t i = 0; i < ours.width * ours.height; ++i) {
        int r, g, b;
        in >> r >> g >> b;
        const RGB v = ours.values[size_t(i)];
        EXPECT_NEAR(v.r * 255, r, 0.6) << "orientation " << orientation << " pixel " << i;
        EXPECT_NEAR(v.g * 255, g, 0.6) << "orientation " << orientation << " pixel " << i;
        EXPECT_NEAR(v.b * 255, b, 0.6) << "orientation " << orientation << " pixel " << i;
    }
}

class SourceImageTest : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string& name, const Bytes& bytes)
    {
        const auto path = folder / name;
        test::writeFile(path, bytes);
        return path;
    }

    std::string loadError(const std::filesystem::path& path)
    {
        try {
            SourceImage::load(path);
        } catch (const SourceImage::LoadError& error) {
            return error.what();
        }
        return "loaded";
    }

    test::TempFolder folder;
};

Bytes exifWith(const std::vector<std::pair<std::string, std::string>>& entries)
{
    Metadata m;
    for (const auto& [key, value] : entries) EXPECT_TRUE(m.setText(key, value)) << key;
    return m.exifBytes();
}

// ---- Loading -----------------------------------------------------------------------------------

TEST_F(SourceImageTest, PortraitPhotographLoadsUprightWithItsProfile)
{
    // Stored landscape, red growing to the right; orientation 6 turns it a quarter clockwise.
    test::JPEGOptions options;
    options.icc = test::iccProfile("DisplayP3");
    options.exif = exifWith({{"Exif.Image.Orientation", "6"}, {"Exif.Photo.DateTimeOriginal", "2023:07:14 18:30:05"}});
    const auto path = write("portrait.jpg", test::encodeJPEG(64, 32, test::gradientOf(64, 32), options));

    const SourceImage source = SourceImage::load(path);
    EXPECT_EQ(source.pixelWidth, 32);
    EXPECT_EQ(source.pixelHeight, 64);
    EXPECT_EQ(source.image.extent(), Rect::ofSize(32, 64));
    EXPECT_FALSE(source.profileFellBack);
    EXPECT_EQ(source.profileLabel(), "Display P3");
    EXPECT_EQ(source.utType, "public.jpeg");
    EXPECT_EQ(source.bitsPerComponent, 8);
    EXPECT_EQ(source.dpi, 300);
    EXPECT_FALSE(source.hasGainMap());
    EXPECT_EQ(source.properties.text("Exif.Photo.DateTimeOriginal"), "2023:07:14 18:30:05");

    const Samples s = render(source.image);
    // The stored left edge (red 0) is now the top edge; the stored top (green 0) the right edge.
    EXPECT_LT(s.at(16, 1).r, 0.1f);
    EXPECT_GT(s.at(16, 62).r, 0.9f);
    EXPECT_LT(s.at(30, 32).g, 0.1f);
    EXPECT_GT(s.at(1, 32).g, 0.9f);
}

TEST_F(SourceImageTest, MetadataFromAnIndependentWriterIsRead)
{
    const auto path = write("tagged.jpg", test::encodeJPEG(40, 20, test::gradientOf(40, 20)));
    test::run("exiftool -q -overwrite_original -Orientation#=8 -DateTimeOriginal='2020:02:29 23:59:58' "
              "-GPSLatitude=51.5 -GPSLatitudeRef=N -Keywords=harbour -Keywords=dusk -XResolution=240 -YResolution=240 "
              "-ResolutionUnit=inches -JFIF:ResolutionUnit=None '" +
              path.string() + "'");
    const SourceImage source = SourceImage::load(path);
    EXPECT_EQ(source.orientation, 8);
    EXPECT_EQ(source.pixelWidth, 20);
    EXPECT_EQ(source.pixelHeight, 40);
    EXPECT_EQ(source.dpi, 240);
    EXPECT_EQ(source.properties.text("Exif.GPSInfo.GPSLatitudeRef"), "N");
    EXPECT_EQ(source.properties.texts("Iptc.Application2.Keywords"), (std::vector<std::string>{"harbour", "dusk"}));
    std::tm t{};
    t.tm_year = 120;
    t.tm_mon = 1;
    t.tm_mday = 29;
    t.tm_hour = 23;
    t.tm_min = 59;
    t.tm_sec = 58;
    t.tm_isdst = -1;
    EXPECT_EQ(source.captureDate(), std::chrono::system_clock::from_time_t(std::mktime(&t)));
}

TEST_F(SourceImageTest, EveryOrientationMatchesAnIndependentReader)
{
    for (int orientation = 1; orientation <= 8; ++orientation) {
        test::TIFFOptions options;
        options.orientation = orientation;
        const auto path = write(std::string("o").append(std::to_string(orientation)).append(".tif"),
                                test::encodeTIFF(6, 4, test::gradientOf(6, 4), options));
        const SourceImage source = SourceImage::load(path);
        const Samples ours = render(source.image);

        const std::string size = test::run("convert '" + path.string() + "' -auto-orient -format '%w %h' info:");
        EXPECT_EQ(size, std::to_string(ours.width) + " " + std::to_string(ours.height)) << orientation;
        expectUprightAsIndependentReaderSees(path, ours, orientation);
    }
}

TEST_F(SourceImageTest, PaletteTIFFIsTurnedOnceByItsOrientation)
{
    // Palette files are expanded by libtiff's own reader, which must not turn them a second time.
    for (int orientation : {2, 3, 6, 8}) {
        test::TIFFOptions options;
        options.samplesPerPixel = 1;
        options.palette = true;
        options.orientation = orientation;
        const auto path = write("palette" + std::to_string(orientation) + ".tif",
                                test::encodeTIFF(
                                    6, 4, [](int x, int y, int) { return (x * 4 + y * 40) / 255.0; }, options));
        const Samples ours = render(SourceImage::load(path).image);
        expectUprightAsIndependentReaderSees(path, ours, orientation);
    }
}

TEST_F(SourceImageTest, FileWithoutProfileFallsBackToSRGB)
{
    const auto path = write("plain.png", test::encodePNG(10, 10, test::gradientOf(10, 10)));
    const SourceImage source = SourceImage::load(path);
    EXPECT_TRUE(source.profileFellBack);
    EXPECT_EQ(source.colorSpace.name, ColourSpace::sRGBName);
    EXPECT_EQ(source.profileLabel(), "no rgb profile · treated as sRGB");
    EXPECT_EQ(source.utType, "public.png");
    EXPECT_EQ(source.bitsPerComponent, 8);
    EXPECT_EQ(source.dpi, 300);
}

TEST_F(SourceImageTest, LabelsNameKnownProfilesAndDescribeOthers)
{
    test::PNGOptions adobe;
    adobe.icc = test::iccProfile("AdobeRGB1998");
    EXPECT_EQ(
        SourceImage::load(write("adobe.png", test::encodePNG(8, 8, test::gradientOf(8, 8), adobe))).profileLabel(),
        "Adobe RGB");

    test::PNGOptions srgbChunk;
    srgbChunk.sRGBChunk = true;
    const SourceImage chunk =
        SourceImage::load(write("chunk.png", test::encodePNG(8, 8, test::gradientOf(8, 8), srgbChunk)));
    EXPECT_FALSE(chunk.profileFellBack);
    EXPECT_EQ(chunk.profileLabel(), "sRGB");

    // A wide space of our own: no platform name, so its description speaks for it.
    test::TIFFOptions custom;
    custom.icc = test::customProfile("  Studio Wide Gamut\t");
    const SourceImage wide =
        SourceImage::load(write("custom.tif", test::encodeTIFF(8, 8, test::gradientOf(8, 8), custom)));
    EXPECT_FALSE(wide.profileFellBack);
    EXPECT_EQ(wide.profileLabel(), "Studio Wide Gamut");
    custom.icc = test::customProfile("");
    EXPECT_EQ(
        SourceImage::load(write("blank.tif", test::encodeTIFF(8, 8, test::gradientOf(8, 8), custom))).profileLabel(),
        "");
}

// A PNG with the given chunks (type and data) placed right after its header chunk.
Bytes pngWithChunks(const std::vector<std::pair<std::string, Bytes>>& chunks)
{
    Bytes png = test::encodePNG(8, 8, test::gradientOf(8, 8));
    Bytes added;
    const auto put32 = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) added.push_back(uint8_t(v >> shift));
    };
    for (const auto& [type, data] : chunks) {
        put32(uint32_t(data.size()));
        Bytes body(type.begin(), type.end());
        body.insert(body.end(), data.begin(), data.end());
        added.insert(added.end(), body.begin(), body.end());
        put32(uint32_t(crc32(0, body.data(), uInt(body.size()))));
    }
    png.insert(png.begin() + 8 + 25, added.begin(), added.end());
    return png;
}

Bytes bigEndianNumbers(const std::vector<uint32_t>& values)
{
    Bytes out;
    for (uint32_t v : values)
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
    return out;
}

TEST_F(SourceImageTest, PNGColourChunksDescribeTheSpace)
{
    const Bytes displayP3CodePoints{12, 13, 0, 1};
    const SourceImage coded = SourceImage::load(write("cicp.png", pngWithChunks({{"cICP", displayP3CodePoints}})));
    EXPECT_FALSE(coded.profileFellBack);
    EXPECT_EQ(coded.profileLabel(), "Display P3");

    // Code points win over an sRGB chunk; ones no profile describes leave the other chunks to speak.
    const SourceImage both =
        SourceImage::load(write("both.png", pngWithChunks({{"cICP", displayP3CodePoints}, {"sRGB", {0}}})));
    EXPECT_EQ(both.profileLabel(), "Display P3");
    const SourceImage pq = SourceImage::load(write("pq.png", pngWithChunks({{"cICP", {9, 16, 0, 1}}, {"sRGB", {0}}})));
    EXPECT_FALSE(pq.profileFellBack);
    EXPECT_EQ(pq.profileLabel(), "sRGB");

    const Bytes gamma = bigEndianNumbers({45455});
    const Bytes adobePrimaries = bigEndianNumbers({31270, 32900, 64000, 33000, 21000, 71000, 15000, 6000});
    const SourceImage tagged =
        SourceImage::load(write("chrm.png", pngWithChunks({{"gAMA", gamma}, {"cHRM", adobePrimaries}})));
    EXPECT_FALSE(tagged.profileFellBack);
    EXPECT_EQ(tagged.profileLabel(), "Adobe RGB");
}

TEST_F(SourceImageTest, GreyAndCMYKBecomeSRGB)
{
    test::JPEGOptions grey;
    grey.components = 1;
    const SourceImage greySource =
        SourceImage::load(write("grey.jpg", test::encodeJPEG(16, 16, test::gradientOf(16, 16), grey)));
    EXPECT_TRUE(greySource.profileFellBack);
    const Samples g = render(greySource.image);
    EXPECT_EQ(g.at(15, 8).r, g.at(15, 8).g);
    EXPECT_NEAR(g.at(15, 8).r, 31.0 / 32, 0.02);

    // Uniform ink: 20 % cyan, 40 % magenta, 60 % yellow, 10 % black.
    const test::Pattern ink = [](int, int, int c) { return std::array{0.2, 0.4, 0.6, 0.1}[size_t(c)]; };
    test::JPEGOptions cmyk;
    cmyk.components = 4;
    const SourceImage cmykSource = SourceImage::load(write("cmyk.jpg", test::encodeJPEG(16, 16, ink, cmyk)));
    EXPECT_TRUE(cmykSource.profileFellBack);
    const RGB v = render(cmykSource.image).at(8, 8);
    EXPECT_NEAR(v.r, 0.8 * 0.9, 0.02);
    EXPECT_NEAR(v.g, 0.6 * 0.9, 0.02);
    EXPECT_NEAR(v.b, 0.4 * 0.9, 0.02);

    test::TIFFOptions cmykTIFF;
    cmykTIFF.samplesPerPixel = 4;
    cmykTIFF.bitsPerSample = 16;
    const RGB t = render(SourceImage::load(write("cmyk.tif", test::encodeTIFF(8, 8, ink, cmykTIFF))).image).at(4, 4);
    EXPECT_NEAR(t.r, 0.72, 0.002);
    EXPECT_NEAR(t.b, 0.36, 0.002);
}

TEST_F(SourceImageTest, CMYKIsConvertedThroughItsOwnProfile)
{
    const test::Pattern ink = [](int, int, int c) { return std::array{0.2, 0.4, 0.6, 0.1}[size_t(c)]; };
    test::JPEGOptions options;
    options.components = 4;
    options.quality = 100;
    options.icc = test::cmykProfile();
    const auto path = write("profiled-cmyk.jpg", test::encodeJPEG(16, 16, ink, options));
    const RGB v = render(SourceImage::load(path).image).at(8, 8);
    // The profile's inks are a tenth darker than the plain complement.
    EXPECT_NEAR(v.r, 0.9 * 0.8 * 0.9, 0.02);
    EXPECT_NEAR(v.g, 0.9 * 0.6 * 0.9, 0.02);
    EXPECT_NEAR(v.b, 0.9 * 0.4 * 0.9, 0.02);
}

TEST_F(SourceImageTest, LabAndProfiledGreyBecomeSRGB)
{
    // L* 50 with no colour is the middle grey of sRGB 119 / 255.
    const test::Pattern lab = [](int, int, int c) { return c == 0 ? 0.5 : 0.0; };
    test::TIFFOptions options;
    options.photometric = 8; // CIELab
    const SourceImage labSource = SourceImage::load(write("lab.tif", test::encodeTIFF(4, 4, lab, options)));
    EXPECT_TRUE(labSource.profileFellBack);
    const RGB v = render(labSource.image).at(2, 2);
    EXPECT_NEAR(v.r, 119 / 255.0, 0.01);
    EXPECT_NEAR(v.g, v.r, 0.005);
    EXPECT_NEAR(v.b, v.r, 0.005);

    // A grey picture with a gamma 1.0 grey profile: its 0.5 is linear, sRGB 0.735.
    test::PNGOptions grey;
    grey.channels = 1;
    grey.icc = test::linearGreyProfile();
    const RGB g = render(SourceImage::load(write("grey.png", test::encodePNG(4, 4, lab, grey))).image).at(1, 1);
    EXPECT_NEAR(g.r, 0.735, 0.01);
}

TEST_F(SourceImageTest, TIFFLayoutsAndDepthsDecodeAlike)
{
    // Tiles of 16 cut the picture with partial tiles at the edges; tiles of 256 exceed it.
    const int width = 37, height = 21;
    const auto pattern = test::gradientOf(width, height);
    for (int tileSize : {0, 16, 256})
        for (int bits : {8, 16, 32})
            for (bool planar : {false, true})
                for (int samples : {1, 3}) {
                    test::TIFFOptions options;
                    options.bitsPerSample = bits;
                    options.planar = planar;
                    options.samplesPerPixel = samples;
                    options.dpi = 240;
                    options.tileSize = tileSize;
                    const std::string name = std::string("t")
                                                 .append(std::to_string(bits))
                                                 .append(planar ? "p" : "c")
                                                 .append(std::to_string(samples))
                                                 .append("-")
                                                 .append(std::to_string(tileSize))
                                                 .append(".tif");
                    const SourceImage source =
                        SourceImage::load(write(name, test::encodeTIFF(width, height, pattern, options)));
                    EXPECT_EQ(source.bitsPerComponent, bits) << name;
                    EXPECT_EQ(source.dpi, 240) << name;
                    EXPECT_EQ(source.utType, "public.tiff");
                    const Samples s = render(source.image);
                    const double tolerance = bits == 8 ? 0.5 / 255 + 1e-6 : 1e-4;
                    for (int y = 0; y < height; ++y)
                        for (int x = 0; x < width; ++x) {
                            EXPECT_NEAR(s.at(x, y).r, pattern(x, y, 0), tolerance) << name << " " << x << "," << y;
                            if (samples == 3) {
                                EXPECT_NEAR(s.at(x, y).b, pattern(x, y, 2), tolerance) << name;
                            }
                        }
                }
}

TEST_F(SourceImageTest, SixteenBitPNGKeepsItsDepth)
{
    test::PNGOptions options;
    options.bitDepth = 16;
    const auto pattern = test::gradientOf(300, 2);
    const SourceImage source = SourceImage::load(write("deep.png", test::encodePNG(300, 2, pattern, options)));
    EXPECT_EQ(source.bitsPerComponent, 16);
    const Samples s = render(source.image);
    EXPECT_NEAR(s.at(123, 1).r, pattern(123, 1, 0), 1e-4);
}

TEST_F(SourceImageTest, HEIFLoadsWithItsProfileAndMetadata)
{
    test::HeicOptions options;
    options.icc = test::iccProfile("DisplayP3");
    options.exif = exifWith({{"Exif.Photo.DateTimeOriginal", "2022:01:02 03:04:05"}, {"Exif.Image.Make", "Maker"}});
    const auto path = write("photo.heic", test::encodeHeic(64, 48, test::gradientOf(64, 48), options));
    const SourceImage source = SourceImage::load(path);
    EXPECT_EQ(source.utType, "public.heic");
    EXPECT_EQ(source.pixelWidth, 64);
    EXPECT_EQ(source.pixelHeight, 48);
    EXPECT_EQ(source.profileLabel(), "Display P3");
    EXPECT_EQ(source.properties.text("Exif.Image.Make"), "Maker");
    const Samples s = render(source.image);
    EXPECT_NEAR(s.at(60, 24).r, test::gradient(60, 24, 0, 64, 48), 0.05);
    EXPECT_NEAR(s.at(32, 44).g, test::gradient(32, 44, 1, 64, 48), 0.05);
}

TEST_F(SourceImageTest, HEIFTurnedByItsContainerLoadsUpright)
{
    // A quarter turn anticlockwise: the stored top edge (green 0) ends on the left.
    const SourceImage source = SourceImage::load(write("turned.heic", test::heicTurned(64, 32, 1)));
    EXPECT_EQ(source.pixelWidth, 32);
    EXPECT_EQ(source.pixelHeight, 64);
    const Samples s = render(source.image);
    EXPECT_LT(s.at(1, 32).g, 0.15f);
    EXPECT_GT(s.at(30, 32).g, 0.85f);
    EXPECT_EQ(SourceImage::thumbnail(source.url, 16)->height(), 16);
    EXPECT_EQ(SourceImage::thumbnail(source.url, 16)->width(), 8);
}

TEST_F(SourceImageTest, PhotoshopCompositesOfEveryKind)
{
    const auto pattern = test::gradientOf(150, 5);
    for (bool rle : {false, true})
        for (int depth : {8, 16})
            for (int mode : {1, 3, 4}) {
                test::PSDOptions options;
                options.rle = rle;
                options.depth = depth;
                options.mode = mode;
                options.extraChannels = 1;
                options.dpi = 150;
                options.icc = mode == 3 ? test::iccProfile("AdobeRGB1998") : Bytes();
                options.exif = exifWith({{"Exif.Image.Model", "Body"}});
                Metadata iptc;
                iptc.setText("Iptc.Application2.City", "Oslo");
                options.iptc = iptc.iptcBytes();
                const std::string name = std::string("p")
                                             .append(std::to_string(rle))
                                             .append(std::to_string(depth))
                                             .append(std::to_string(mode))
                                             .append(".psd");
                const SourceImage source = SourceImage::load(write(name, test::encodePSD(150, 5, pattern, options)));
                EXPECT_EQ(source.utType, "com.adobe.photoshop-image");
                EXPECT_EQ(source.bitsPerComponent, depth) << name;
                EXPECT_NEAR(source.dpi, 150, 1e-9) << name;
                EXPECT_EQ(source.properties.text("Exif.Image.Model"), "Body") << name;
                EXPECT_EQ(source.properties.text("Iptc.Application2.City"), "Oslo") << name;
                EXPECT_EQ(source.profileLabel(), mode == 3 ? "Adobe RGB" : "no rgb profile · treated as sRGB") << name;
                const RGB v = render(source.image).at(140, 3);
                const double tolerance = depth == 8 ? 0.01 : 0.002;
                if (mode == 3) {
                    EXPECT_NEAR(v.g, pattern(140, 3, 1), tolerance) << name;
                }
                if (mode == 1) {
                    EXPECT_NEAR(v.g, pattern(140, 3, 0), tolerance) << name;
                }
                if (mode == 4) {
                    EXPECT_NEAR(v.r, (1 - pattern(140, 3, 0)) * (1 - pattern(140, 3, 3)), tolerance) << name;
                }
            }
}

TEST_F(SourceImageTest, PhotoshopResolutionIsInPixelsAnInchWhateverUnitItIsShownIn)
{
    test::PSDOptions options;
    options.dpi = 300;
    options.resolutionUnit = 2;
    const auto path = write("cm.psd", test::encodePSD(8, 8, test::gradientOf(8, 8), options));
    EXPECT_EQ(SourceImage::load(path).dpi, 300);
    EXPECT_EQ(test::run("convert '" + path.string() + "[0]' -units PixelsPerInch -format '%x' info:"), "300");
}

TEST_F(SourceImageTest, LargeDocumentsReadLikePhotoshopFiles)
{
    test::PSDOptions options;
    options.large = true;
    options.rle = true;
    const auto pattern = test::gradientOf(300, 4);
    const SourceImage source = SourceImage::load(write("big.psb", test::encodePSD(300, 4, pattern, options)));
    EXPECT_EQ(source.fileType, FileType::psb);
    EXPECT_EQ(source.utType, "com.adobe.photoshop-image");
    EXPECT_NEAR(render(source.image).at(250, 2).r, pattern(250, 2, 0), 0.01);
}

TEST_F(SourceImageTest, PhotoshopFileFromAnIndependentWriter)
{
    const auto png = write("for-psd.png", test::encodePNG(40, 30, test::gradientOf(40, 30)));
    const auto psd = folder / "magick.psd";
    test::run("convert '" + png.string() + "' '" + psd.string() + "'");
    const SourceImage source = SourceImage::load(psd);
    EXPECT_EQ(source.pixelWidth, 40);
    const Samples s = render(source.image);
    EXPECT_NEAR(s.at(35, 20).r, test::gradient(35, 20, 0, 40, 30), 0.01);
    EXPECT_NEAR(s.at(35, 20).g, test::gradient(35, 20, 1, 40, 30), 0.01);
}

// ---- Failures ----------------------------------------------------------------------------------

TEST_F(SourceImageTest, DamagedFilesOfEveryFormatSayWhichFileCouldNotBeRead)
{
    const auto pattern = test::gradientOf(48, 40);
    test::PSDOptions rle;
    rle.rle = true;
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"a.jpg", test::encodeJPEG(48, 40, pattern)}, {"b.png", test::encodePNG(48, 40, pattern)},
        {"c.tif", test::encodeTIFF(48, 40, pattern)}, {"d.heic", test::encodeHeic(48, 40, pattern)},
        {"e.psd", test::encodePSD(48, 40, pattern)},  {"f.psd", test::encodePSD(48, 40, pattern, rle)},
    };
    for (const auto& [name, good] : files) {
        for (size_t cut : {size_t(0), size_t(3), good.size() / 3, good.size() * 2 / 3, good.size() - 9}) {
            const auto path = write(name, Bytes(good.begin(), good.begin() + long(cut)));
            EXPECT_EQ(loadError(path), "could not read " + name) << name << " cut at " << cut;
        }
    }
    EXPECT_EQ(loadError(folder / "missing.jpg"), "could not read missing.jpg");
    EXPECT_EQ(loadError(write("text.jpg", Bytes{'h', 'e', 'l', 'l', 'o'})), "could not read text.jpg");
    EXPECT_EQ(loadError(folder.path()), "could not read " + folder.path().filename().string());
}

TEST_F(SourceImageTest, StrayBytesBetweenSegmentsDoNotMakeAPhotographUnreadable)
{
    // Some cameras pad before the end marker; the picture is whole and reads.
    Bytes padded = test::encodeJPEG(16, 16, test::gradientOf(16, 16));
    padded.insert(padded.end() - 2, {0x00, 0x00, 0x00});
    const SourceImage source = SourceImage::load(write("padded.jpg", padded));
    EXPECT_NEAR(render(source.image).at(15, 8).r, 31.0 / 32, 0.03);
    // A bad Huffman code, though, is damage.
    Bytes damaged = test::encodeJPEG(64, 64, test::gradientOf(64, 64));
    for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 40; ++i) damaged[i] = 0xFF, damaged[++i] = 0xD3;
    EXPECT_EQ(loadError(write("damaged.jpg", damaged)), "could not read damaged.jpg");
}

// The most memory the process has held so far, in megabytes.
long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

TEST_F(SourceImageTest, HostileSizesAreRefusedBeforeAnythingIsAllocated)
{
    const long peakBefore = peakMegabytes();
    // A PSD header claiming 30000 x 30000 with raw planes, followed by a few bytes.
    Bytes psd = test::encodePSD(2, 2, test::gradientOf(2, 2));
    psd[14] = 0;
    psd[15] = 0;
    psd[16] = 0x75;
    psd[17] = 0x30;
    psd[18] = 0;
    psd[19] = 0;
    psd[20] = 0x75;
    psd[21] = 0x30;
    EXPECT_EQ(loadError(write("huge.psd", psd)), "could not read huge.psd");
    // A JPEG frame of 65000 x 65000 in a small stream.
    Bytes jpeg = test::encodeJPEG(8, 8, test::gradientOf(8, 8));
    for (size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = 0xFD;
            jpeg[i + 6] = 0xE8;
            jpeg[i + 7] = 0xFD;
            jpeg[i + 8] = 0xE8;
            break;
        }
    EXPECT_EQ(loadError(write("huge.jpg", jpeg)), "could not read huge.jpg");
    // A small TIFF whose tiles claim 32768 x 32768 pixels each.
    test::TIFFOptions tiled;
    tiled.tileSize = 16;
    Bytes tiff = test::encodeTIFF(40, 30, test::gradientOf(40, 30), tiled);
    ASSERT_EQ(tiff[0], 'I');
    const auto u16At = [&](size_t at) { return uint16_t(tiff[at] | tiff[at + 1] << 8); };
    const size_t directory = size_t(tiff[4] | tiff[5] << 8 | tiff[6] << 16 | tiff[7] << 24);
    int patched = 0;
    for (size_t entry = directory + 2; entry < directory + 2 + 12 * size_t(u16At(directory)); entry += 12)
        if (u16At(entry) == TIFFTAG_TILEWIDTH || u16At(entry) == TIFFTAG_TILELENGTH) {
            // SHORT or LONG, stored in place: 32768 reads the same either way.
            tiff[entry + 8] = 0x00;
            tiff[entry + 9] = 0x80;
            tiff[entry + 10] = 0;
            tiff[entry + 11] = 0;
            ++patched;
        }
    ASSERT_EQ(patched, 2);
    EXPECT_EQ(loadError(write("tiles.tif", tiff)), "could not read tiles.tif");
    EXPECT_LT(peakMegabytes() - peakBefore, 256);
}

TEST_F(SourceImageTest, HEIFGridLargerThanItsDeclaredSizeIsNotDecoded)
{
    // A 16 x 16 picture coded as one 64 x 64 tile of a grid; its grid data is changed to draw a
    // canvas of 2000 x 2000.
    const Bytes original =
        test::readFile(std::filesystem::path(OXEL_SOURCE_DIR) / "fuzz/corpus/source_headers/gainmap.heic");
    Bytes heic = original;
    const auto idat = std::search(heic.begin(), heic.end(), std::begin("idat"), std::end("idat") - 1);
    ASSERT_NE(idat, heic.end());
    const size_t canvas = size_t(idat - heic.begin()) + 8;
    ASSERT_EQ(heic[canvas + 1], 16);
    heic[canvas] = heic[canvas + 2] = 0x07;
    heic[canvas + 1] = heic[canvas + 3] = 0xD0;
    const auto file = readPictureFile(heic);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->header.width, 16);
    EXPECT_FALSE(heif::decode(heic, 0));
    EXPECT_TRUE(heif::decode(original, 0));
    EXPECT_EQ(loadError(write("grid.heic", heic)), "could not read grid.heic");
}

TEST_F(SourceImageTest, CameraRawFilesAreNotReadAsTIFF)
{
    Bytes tiff = test::encodeTIFF(8, 8, test::gradientOf(8, 8));
    Metadata dng;
    ASSERT_TRUE(dng.setText("Exif.Image.DNGVersion", "1 4 0 0"));
    const auto path = write("raw.dng", tiff);
    ASSERT_EQ(dng.writeInto(path), std::nullopt);
    EXPECT_EQ(fileTypeOf(test::readFile(path)), FileType::cameraRaw);
    EXPECT_EQ(loadError(path), "could not read raw.dng");
    EXPECT_EQ(fileTypeOf(tiff), FileType::tiff);
}

TEST_F(SourceImageTest, LargeVariantTIFFReadsLikeTheClassicOne)
{
    for (int bits : {8, 16}) {
        test::TIFFOptions options;
        options.bitsPerSample = bits;
        options.dpi = 240;
        const Bytes classic = test::encodeTIFF(37, 23, test::gradientOf(37, 23), options);
        options.large = true;
        const Bytes large = test::encodeTIFF(37, 23, test::gradientOf(37, 23), options);
        ASSERT_EQ(large[2], 43);
        EXPECT_EQ(fileTypeOf(large), FileType::tiff);
        const SourceImage a = SourceImage::load(write("classic.tif", classic));
        const SourceImage b = SourceImage::load(write("large.tif", large));
        EXPECT_EQ(b.pixelWidth, 37);
        EXPECT_EQ(b.bitsPerComponent, bits);
        EXPECT_EQ(b.dpi, 240);
        EXPECT_EQ(render(a.image).values, render(b.image).values) << bits;
        EXPECT_TRUE(SourceImage::thumbnail(write("large-thumb.tif", large), 16));
    }
    // A damaged header of the large variant (offsets of another size) is no TIFF.
    test::TIFFOptions options;
    options.large = true;
    Bytes odd = test::encodeTIFF(8, 8, test::gradientOf(8, 8), options);
    odd[4] = 4;
    EXPECT_FALSE(fileTypeOf(odd));
}

TEST_F(SourceImageTest, LargeVariantCameraRawFilesAreNotReadAsTIFF)
{
    test::TempFolder folder;
    const auto path = folder / "raw.dng";
    TIFF* tiff = TIFFOpen(path.c_str(), "w8");
    ASSERT_TRUE(tiff);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(4));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(4));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISBLACK));
    const uint8_t version[4] = {1, 4, 0, 0};
    TIFFSetField(tiff, TIFFTAG_DNGVERSION, version);
    std::vector<uint8_t> row(4, 128);
    for (uint32_t y = 0; y < 4; ++y) TIFFWriteScanline(tiff, row.data(), y, 0);
    TIFFClose(tiff);
    EXPECT_EQ(fileTypeOf(test::readFile(path)), FileType::cameraRaw);
}

TEST_F(SourceImageTest, ChangedFileIsNotReadInPlaceOfTheLoadedOne)
{
    const auto path = write("changing.png", test::encodePNG(20, 20, test::gradientOf(20, 20)));
    const SourceImage source = SourceImage::load(path);
    PictureCache::shared().clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    test::writeFile(path, test::encodePNG(20, 20, [](int, int, int) { return 1.0; }));
    EXPECT_FALSE(source.storedPixels());
    EXPECT_FALSE(source.thumbnail(16));
    EXPECT_FALSE(source.previewImage(SourceImage::sRGB(), false));
    const Samples s = render(source.image);
    EXPECT_EQ(s.at(10, 10), RGB{});
    // Loading again sees the new content.
    EXPECT_EQ(render(SourceImage::load(path).image).at(10, 10), (RGB{1, 1, 1}));
}

TEST_F(SourceImageTest, LoadingDecodesNoMoreThanTheIntakeThumbnail)
{
    PictureCache& cache = PictureCache::shared();
    const auto path = write("large.jpg", test::encodeJPEG(4000, 3000, test::gradientOf(4000, 3000)));
    cache.clear();
    const auto before = cache.statistics();
    const SourceImage source = SourceImage::load(path);
    const auto thumbnail = source.thumbnail(SourceImage::intakeThumbnailPixels);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->width(), 1024);
    EXPECT_EQ(thumbnail->height(), 768);
    const auto afterIntake = cache.statistics();
    // One picture was made, the thumbnail, and intake's own request found it.
    EXPECT_EQ(afterIntake.made - before.made, 1u);
    EXPECT_EQ(afterIntake.bytesMade - before.bytesMade, thumbnail->byteCount());
    EXPECT_GE(afterIntake.hits - before.hits, 1u);
    EXPECT_FALSE(cache.contains(pictureKey(path, source.stamp)));

    // The full picture is decoded when a render first asks for it.
    EXPECT_EQ(render(source.image.cropped(Rect(0, 0, 4, 4))).width, 4);
    const auto afterRender = cache.statistics();
    EXPECT_EQ(afterRender.made - afterIntake.made, 1u);
    EXPECT_GE(afterRender.bytesMade - afterIntake.bytesMade, 4000u * 3000u * 3u);
}

TEST_F(SourceImageTest, APictureDecodedWholeAtLoadServesItsPreviewWithoutASecondDecode)
{
    test::PNGOptions options;
    options.interlaced = true;
    const auto path = write("interlaced.png", test::encodePNG(3000, 2000, test::gradientOf(3000, 2000), options));
    PictureCache& cache = PictureCache::shared();
    cache.clear();
    const SourceImage source = SourceImage::load(path);
    EXPECT_TRUE(cache.contains(pictureKey(path, source.stamp)));
    const auto before = cache.statistics();
    const auto preview = source.previewImage(SourceImage::sRGB(), false);
    ASSERT_TRUE(preview);
    const auto after = cache.statistics();
    EXPECT_EQ(after.made - before.made, 1u) << "the preview itself, read from the picture loading decoded";
    EXPECT_EQ(after.bytesMade - before.bytesMade, preview->byteCount());
}

TEST_F(SourceImageTest, ReducedDecodingStillFindsADamagedPhotographAtLoad)
{
    const Bytes good = test::encodeJPEG(4000, 3000, test::gradientOf(4000, 3000));
    for (size_t cut : {good.size() / 3, good.size() * 2 / 3, good.size() - 9}) {
        const auto path = write("cut.jpg", Bytes(good.begin(), good.begin() + long(cut)));
        EXPECT_EQ(loadError(path), "could not read cut.jpg") << "cut at " << cut;
    }
}

TEST_F(SourceImageTest, FileChangedAfterLoadIsRefusedWhenItsPixelsAreFirstNeeded)
{
    const auto path = write("later.jpg", test::encodeJPEG(300, 200, test::gradientOf(300, 200)));
    const SourceImage source = SourceImage::load(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    test::writeFile(path, test::encodeJPEG(300, 200, [](int, int, int) { return 1.0; }));
    EXPECT_FALSE(source.storedPixels());
    EXPECT_FALSE(source.previewImage(SourceImage::sRGB(), false));
    EXPECT_FALSE(source.jpegData());
    EXPECT_EQ(render(source.image).at(150, 100), RGB{});
    // The thumbnail made at load shows what was loaded; any other size is refused.
    EXPECT_TRUE(source.thumbnail(SourceImage::intakeThumbnailPixels));
    EXPECT_FALSE(source.thumbnail(64));
}

TEST_F(SourceImageTest, KeptBytesDecodeUprightAgainAfterTheyWereLetGo)
{
    test::JPEGOptions options;
    options.exif = exifWith({{"Exif.Image.Orientation", "6"}});
    const auto bytes = std::make_shared<const Bytes>(test::encodeJPEG(40, 20, test::gradientOf(40, 20), options));
    const auto picture = decodedPicture(bytes);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->extent(), Rect::ofSize(20, 40));
    const Samples first = render(*picture);
    PictureCache::shared().clear();
    EXPECT_EQ(render(*picture).values, first.values);

    EXPECT_FALSE(
        decodedPicture(std::make_shared<const Bytes>(bytes->begin(), bytes->begin() + long(bytes->size() / 2))));
    EXPECT_FALSE(decodedPicture(std::make_shared<const Bytes>(Bytes{'n', 'o'})));
    EXPECT_FALSE(decodedPicture(nullptr));
}

TEST_F(SourceImageTest, APreviewPlanReadsAReducedDecodeAndNeverTheWholePicture)
{
    test::JPEGOptions options;
    options.exif = exifWith({{"Exif.Image.Orientation", "6"}});
    const auto path = write("plan.jpg", test::encodeJPEG(3200, 2400, test::gradientOf(3200, 2400), options));
    const SourceImage source = SourceImage::load(path);
    const auto reduced = source.reducedImage(800);
    ASSERT_TRUE(reduced);
    // Upright, a quarter of the size: the smallest DCT scale whose long side reaches 800.
    EXPECT_EQ(reduced->extent(), Rect::ofSize(600, 800));

    const Image relit = materialised(reduced->scaled(0.5, 0.5).cropped(Rect::ofSize(300, 400)));
    const DetailTransfer withReduced(source.image, relit, source.colorSpace, {}, reducedDecodes(source));
    const auto plan = withReduced.plan(false, true);
    ASSERT_TRUE(plan);
    EXPECT_EQ(render(*withReduced.combine(*plan.plan, 0.8)).width, 300);
    EXPECT_FALSE(PictureCache::shared().contains(pictureKey(path, source.stamp)));
    // The same plan from the whole picture differs only by the reduced decode's own filtering.
    const auto whole = DetailTransfer(source.image, relit, source.colorSpace).plan(false, true);
    ASSERT_TRUE(whole);
    const Samples a = render(plan.plan->src), b = render(whole.plan->src);
    float largest = 0;
    for (size_t i = 0; i < a.values.size(); ++i)
        largest = std::max({largest, std::abs(a.values[i].r - b.values[i].r), std::abs(a.values[i].g - b.values[i].g)});
    EXPECT_LT(largest, 0.02f);

    // A PNG is averaged in whole blocks as its rows are decoded, never held whole either.
    const auto pngPath = write("plan.png", test::encodePNG(64, 48, test::gradientOf(64, 48)));
    const SourceImage png = SourceImage::load(pngPath);
    EXPECT_EQ(png.reducedImage(16)->extent(), Rect::ofSize(16, 12));
    EXPECT_FALSE(PictureCache::shared().contains(pictureKey(pngPath, png.stamp)));
    // Nothing smaller asked: the picture itself.
    EXPECT_EQ(png.reducedImage(64)->node(), png.image.node());
}

TEST_F(SourceImageTest, AHEIFThumbnailLargeEnoughStandsInForTheReducedPicture)
{
    const auto light = [](int, int, int) { return 0.8; };
    test::HeicOptions options;
    options.thumbnailWidth = 480;
    options.thumbnailHeight = 320;
    const auto path = write("thumbed.heic", test::encodeHeic(1200, 800, light, options));
    const SourceImage source = SourceImage::load(path);
    ASSERT_EQ(source.pixelWidth, 1200);
    // Its thumbnail is too small for intake's, so loading decoded the whole picture and kept it.
    EXPECT_TRUE(PictureCache::shared().contains(pictureKey(path, source.stamp)));
    PictureCache::shared().clear();

    EXPECT_EQ(source.reducedImage(300)->extent(), Rect::ofSize(480, 320));
    EXPECT_FALSE(PictureCache::shared().contains(pictureKey(path, source.stamp)));
    // Too small for what is asked: the picture itself.
    EXPECT_EQ(source.reducedImage(600)->extent(), Rect::ofSize(1200, 800));
    const auto thumbnail = source.thumbnail(256);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->width(), 256);

    // A thumbnail of another shape is not a stand-in.
    options.thumbnailWidth = 320;
    options.thumbnailHeight = 320;
    const SourceImage square = SourceImage::load(write("square.heic", test::encodeHeic(1200, 800, light, options)));
    EXPECT_EQ(square.reducedImage(300)->extent(), Rect::ofSize(1200, 800));
}

TEST_F(SourceImageTest, ThumbnailAndPreviewHandlesHoldNoPixelsAndGiveThemAgain)
{
    test::JPEGOptions options;
    options.exif = exifWith({{"Exif.Image.Orientation", "6"}});
    const SourceImage source =
        SourceImage::load(write("handles.jpg", test::encodeJPEG(3000, 2000, test::gradientOf(3000, 2000), options)));
    PictureCache& cache = PictureCache::shared();
    cache.clear();
    const auto before = cache.statistics();
    const PictureHandle preview = source.previewPicture(ColourSpace::displayP3(), true);
    const PictureHandle thumbnail = source.thumbnailPicture(64);
    // Sizes are known before anything is made.
    EXPECT_EQ(preview.width(), 1248);
    EXPECT_EQ(preview.height(), 1872);
    EXPECT_EQ(thumbnail.width(), 43);
    EXPECT_EQ(thumbnail.height(), 64);
    EXPECT_EQ(cache.statistics().made, before.made);

    const auto first = preview.bitmap();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->format(), PixelFormat::RGBX16);
    EXPECT_EQ(source.previewImage(ColourSpace::displayP3(), true)->data(), first->data());
    cache.clear();
    const auto again = preview.bitmap();
    ASSERT_TRUE(again);
    EXPECT_NE(again->data(), first->data());
    EXPECT_EQ(std::memcmp(again->data(), first->data(), first->byteCount()), 0);
    EXPECT_EQ(thumbnail.bitmap()->width(), 43);
}

// ---- Services ----------------------------------------------------------------------------------

TEST(SourceImageCaptureDate, TakesTheFirstDateThatParsesAsLocalTime)
{
    const auto local = [](int y, int mo, int d, int h, int mi, int s) {
        std::tm t{};
        t.tm_year = y - 1900;
        t.tm_mon = mo - 1;
        t.tm_mday = d;
        t.tm_hour = h;
        t.tm_min = mi;
        t.tm_sec = s;
        t.tm_isdst = -1;
        return std::chrono::system_clock::from_time_t(std::mktime(&t));
    };
    Metadata m;
    m.setText("Exif.Photo.DateTimeOriginal", "2021:02:03 04:05:06");
    m.setText("Exif.Photo.DateTimeDigitized", "2020:01:01 00:00:00");
    EXPECT_EQ(SourceImage::captureDate(m), local(2021, 2, 3, 4, 5, 6));
    m.setText("Exif.Photo.DateTimeOriginal", "2021:02:30 04:05:06");
    EXPECT_EQ(SourceImage::captureDate(m), local(2020, 1, 1, 0, 0, 0));
    m.setText("Exif.Photo.DateTimeDigitized", "0000:00:00 00:00:00");
    m.setText("Exif.Image.DateTime", "2019:12:31 23:59:59");
    EXPECT_EQ(SourceImage::captureDate(m), local(2019, 12, 31, 23, 59, 59));
    for (const char* bad : {"2019:12:31 24:00:00", "2019-12-31 10:00:00", "2019:12:31 10:00", "    :  :     :  :  "}) {
        m.setText("Exif.Image.DateTime", bad);
        EXPECT_FALSE(SourceImage::captureDate(m)) << bad;
    }
    EXPECT_FALSE(SourceImage::captureDate(Metadata()));
}

TEST(SourceImagePreviewSize, ReducesLargePicturesOnly)
{
    using P = std::pair<double, double>;
    EXPECT_EQ(SourceImage::previewSize(6000, 4000), P(1872, 1248));
    EXPECT_EQ(SourceImage::previewSize(1000, 800), P(1000, 800));
    EXPECT_EQ(SourceImage::previewSize(300, 200), P(300, 200));
    EXPECT_EQ(SourceImage::previewSize(2048, 1148), P(2040, 1144));
    EXPECT_EQ(SourceImage::previewSize(10000, 1000), P(5240, 512));
    EXPECT_EQ(SourceImage::previewSize(0, 100), P(0, 100));
    // The short-side lift never grows a picture past its own size.
    EXPECT_EQ(SourceImage::previewSize(3000, 300), P(3000, 288));
    EXPECT_EQ(SourceImage::previewSize(300, 3000), P(288, 3000));
}

Bytes profileWithDescription(const std::string& type, const Bytes& body, uint32_t tagCount = 1)
{
    Bytes icc(132, 0);
    icc[128] = uint8_t(tagCount >> 24);
    icc[129] = uint8_t(tagCount >> 16);
    icc[130] = uint8_t(tagCount >> 8);
    icc[131] = uint8_t(tagCount);
    const uint32_t offset = 132 + 12, size = uint32_t(body.size() + 8);
    for (char c : std::string("desc")) icc.push_back(uint8_t(c));
    for (uint32_t v : {offset, size})
        for (int s = 24; s >= 0; s -= 8) icc.push_back(uint8_t(v >> s));
    for (char c : type) icc.push_back(uint8_t(c));
    icc.insert(icc.end(), 4, 0);
    icc.insert(icc.end(), body.begin(), body.end());
    return icc;
}

TEST(SourceImageICCDescription, ReadsTextAndLocalisedDescriptionsWithinBounds)
{
    const Bytes text = {0, 0, 0, 7, ' ', 'C', 'a', 'm', '\t', 'x', 0, 0, 0, 0};
    EXPECT_EQ(SourceImage::iccDescription(profileWithDescription("desc", text)), "Cam\tx");
    // mluc: one record (language, country, length, offset) whose UTF-16 text follows.
    Bytes mluc = {0,   0,   0,   2,   0, 0, 0, 12, 'e', 'n', 'U', 'S', 0, 0,    0, 6,    0, 0,    0, 40,
                  'd', 'e', 'D', 'E', 0, 0, 0, 2,  0,   0,   0,   46,  0, 0x50, 0, 0xE9, 0, 0x20, 0, 'Z'};
    EXPECT_EQ(SourceImage::iccDescription(profileWithDescription("mluc", mluc)), "Pé");
    EXPECT_FALSE(SourceImage::iccDescription(profileWithDescription("desc", text, 512)));
    EXPECT_FALSE(SourceImage::iccDescription(profileWithDescription("desc", text, 0)));
    EXPECT_FALSE(SourceImage::iccDescription(profileWithDescription("desc", {0})));
    EXPECT_FALSE(SourceImage::iccDescription(profileWithDescription("desc", {0, 0, 0, 200, 'a', 'b', 0, 0, 0})));
    EXPECT_FALSE(SourceImage::iccDescription(profileWithDescription("text", text)));
    EXPECT_FALSE(SourceImage::iccDescription(profileWithDescription("desc", {0, 0, 0, 3, 0xC3, 0xA9, 0, 0, 0})));
    EXPECT_FALSE(SourceImage::iccDescription(Bytes(132, 0)));
}

TEST_F(SourceImageTest, ThumbnailIsUprightAndBounded)
{
    test::JPEGOptions options;
    options.exif = exifWith({{"Exif.Image.Orientation", "8"}});
    const auto path = write("thumb.jpg", test::encodeJPEG(400, 100, test::gradientOf(400, 100), options));
    const auto thumbnail = SourceImage::thumbnail(path, 64);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->width(), 16);
    EXPECT_EQ(thumbnail->height(), 64);
    // Orientation 8 turns a quarter anticlockwise: the stored left edge (red 0) ends at the bottom.
    EXPECT_LT(thumbnail->row(62)[8 * 3], 40);
    EXPECT_GT(thumbnail->row(1)[8 * 3], 215);
    // Never enlarged.
    EXPECT_EQ(SourceImage::thumbnail(path, 1024)->height(), 400);
    EXPECT_FALSE(SourceImage::thumbnail(folder / "none.jpg", 64));
}

TEST_F(SourceImageTest, PreviewIsColourMatchedAtItsSize)
{
    test::JPEGOptions options;
    options.icc = test::iccProfile("DisplayP3");
    options.quality = 100;
    const test::Pattern flat = [](int, int, int c) { return std::array{0.8, 0.35, 0.3}[size_t(c)]; };
    const auto path = write("p3.jpg", test::encodeJPEG(3000, 1000, flat, options));
    const SourceImage source = SourceImage::load(path);

    const auto inSRGB = source.previewImage(SourceImage::sRGB(), false);
    ASSERT_TRUE(inSRGB);
    EXPECT_EQ(inSRGB->width(), 2048);
    EXPECT_EQ(inSRGB->height(), 680);
    EXPECT_EQ(inSRGB->colourSpace(), SourceImage::sRGB());
    // ImageMagick's own conversion of the same file is the reference.
    const auto srgb = folder / "srgb.icc";
    test::writeFile(srgb, test::iccProfile("sRGB"));
    std::istringstream reference(test::run("convert '" + path.string() + "' -profile '" + srgb.string() +
                                           "' -crop 1x1+1500+500 -depth 8 rgb:- | od -An -tu1"));
    int r, g, b;
    reference >> r >> g >> b;
    const uint8_t* pixel = inSRGB->row(340) + 1024 * 4;
    EXPECT_NEAR(pixel[0], r, 2);
    EXPECT_NEAR(pixel[1], g, 2);
    EXPECT_NEAR(pixel[2], b, 2);

    const auto inP3 = source.previewImage(source.colorSpace, true);
    ASSERT_TRUE(inP3);
    EXPECT_EQ(inP3->format(), PixelFormat::RGBX16);
    const auto* deep = reinterpret_cast<const uint16_t*>(inP3->row(340)) + 1024 * 4;
    EXPECT_NEAR(deep[0] / 65535.0, 0.8, 0.01);
    EXPECT_NEAR(deep[1] / 65535.0, 0.35, 0.01);
}

TEST_F(SourceImageTest, UploadJPEGIsTheSRGBPreview)
{
    test::JPEGOptions options;
    options.icc = test::iccProfile("AdobeRGB1998");
    options.exif = exifWith({{"Exif.Image.Orientation", "6"}});
    const SourceImage source =
        SourceImage::load(write("big.jpg", test::encodeJPEG(3000, 2000, test::gradientOf(3000, 2000), options)));
    const auto jpeg = source.jpegData();
    ASSERT_TRUE(jpeg);
    const auto path = write("upload.jpg", *jpeg);
    EXPECT_EQ(test::run("identify -format '%w %h %Q %[colorspace]' '" + path.string() + "'"), "1248 1872 92 sRGB");
    const SourceImage upload = SourceImage::load(path);
    EXPECT_EQ(upload.profileLabel(), "sRGB");
}

} // namespace
} // namespace oxel
