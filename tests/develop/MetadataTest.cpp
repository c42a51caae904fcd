#include "develop/codecs/Metadata.h"

#include "support/PictureFiles.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

using test::Bytes;

Metadata cameraMetadata()
{
    Metadata m;
    EXPECT_TRUE(m.setText("Exif.Image.Make", "Canon"));
    EXPECT_TRUE(m.setText("Exif.Image.Model", "Test Body"));
    EXPECT_TRUE(m.setText("Exif.Image.Orientation", "6"));
    EXPECT_TRUE(m.setText("Exif.Photo.DateTimeOriginal", "2024:05:01 10:11:12"));
    EXPECT_TRUE(m.setText("Exif.Photo.ExposureTime", "1/250"));
    EXPECT_TRUE(m.setText("Exif.GPSInfo.GPSLatitudeRef", "N"));
    EXPECT_TRUE(m.setText("Exif.GPSInfo.GPSLatitude", "48/1 51/1 2400/100"));
    EXPECT_TRUE(m.setText("Exif.Canon.OwnerName", "Ada"));
    EXPECT_TRUE(m.setText("Iptc.Application2.Caption", "a quiet street"));
    EXPECT_TRUE(m.setText("Xmp.dc.creator", "Ada"));
    return m;
}

TEST(Metadata, ReadsEntriesByTheirTypes)
{
    Metadata m = cameraMetadata();
    EXPECT_EQ(m.text("Exif.Image.Make"), "Canon");
    EXPECT_EQ(m.orientation(), 6);
    EXPECT_NEAR(*m.number("Exif.Photo.ExposureTime"), 0.004, 1e-12);
    EXPECT_EQ(m.integer("Exif.Image.Orientation"), 6);
    EXPECT_FALSE(m.number("Exif.Image.Make"));
    EXPECT_FALSE(m.text("Exif.Photo.DateTimeDigitized"));
    EXPECT_FALSE(m.text("Nonsense.Key"));
    EXPECT_FALSE(m.setText("Exif.Image.NoSuchTag", "1"));
}

TEST(Metadata, XmpTextCountsAsANumberOnlyWhenWhollyDecimal)
{
    auto m = Metadata::fromXmp(
        R"(<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
      <rdf:Description xmlns:hdrgm="http://ns.adobe.com/hdr-gain-map/1.0/"
        hdrgm:GainMapMin="-0.5" hdrgm:GainMapMax="2.5x" hdrgm:Gamma="inf" hdrgm:Version="1.0"/>
      </rdf:RDF></x:xmpmeta>)");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->number("Xmp.hdrgm.GainMapMin"), -0.5);
    EXPECT_FALSE(m->number("Xmp.hdrgm.GainMapMax"));
    EXPECT_FALSE(m->number("Xmp.hdrgm.Gamma"));
    EXPECT_EQ(m->number("Xmp.hdrgm.Version"), 1.0);
}

TEST(Metadata, CopiesAreIndependent)
{
    const Metadata original = cameraMetadata();
    Metadata copy = original;
    copy.remove("Exif.Image.Make");
    copy.setText("Exif.Image.Model", "Other");
    EXPECT_EQ(original.text("Exif.Image.Make"), "Canon");
    EXPECT_EQ(original.text("Exif.Image.Model"), "Test Body");
    EXPECT_FALSE(copy.contains("Exif.Image.Make"));
}

TEST(Metadata, MergeLetsTheOtherWinAndKeepsTheRest)
{
    Metadata a = cameraMetadata();
    Metadata b;
    b.setText("Exif.Image.Model", "Second");
    b.setText("Iptc.Application2.City", "Lyon");
    a.merge(b);
    EXPECT_EQ(a.text("Exif.Image.Model"), "Second");
    EXPECT_EQ(a.text("Exif.Image.Make"), "Canon");
    EXPECT_EQ(a.text("Iptc.Application2.City"), "Lyon");
    a.merge(a);
    EXPECT_EQ(a.texts("Exif.Image.Model").size(), 1u);
}

TEST(Metadata, SerialisedFormKeepsEveryFamilyAndMakerNotes)
{
    const Metadata original = cameraMetadata();
    const auto restored = Metadata::deserialized(original.serialized());
    ASSERT_TRUE(restored);
    for (const char* key : {"Exif.Image.Make", "Exif.Photo.DateTimeOriginal", "Exif.GPSInfo.GPSLatitude",
                            "Exif.Canon.OwnerName", "Iptc.Application2.Caption", "Xmp.dc.creator"})
        EXPECT_EQ(restored->text(key), original.text(key)) << key;
    const auto empty = Metadata::deserialized(Metadata().serialized());
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isEmpty());
}

TEST(Metadata, DamagedSerialisedFormGivesNothing)
{
    const Bytes good = cameraMetadata().serialized();
    for (size_t cut = 0; cut < good.size(); cut += 7)
        EXPECT_FALSE(Metadata::deserialized(std::span(good).first(cut))) << cut;
    Bytes hugeLength = good;
    hugeLength[8] = hugeLength[9] = hugeLength[10] = hugeLength[11] = 0xff;
    EXPECT_FALSE(Metadata::deserialized(hugeLength));
    EXPECT_FALSE(Metadata::fromExif(Bytes{1, 2, 3}));
    EXPECT_FALSE(Metadata::fromXmp("<not xmp"));
    EXPECT_FALSE(Metadata::read(Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}));
}

TEST(Metadata, WrittenJPEGIsReadBackByAnIndependentReader)
{
    test::TempFolder folder;
    const auto path = folder / "out.jpg";
    test::writeFile(path, test::encodeJPEG(32, 24, test::gradientOf(32, 24)));
    ASSERT_EQ(cameraMetadata().writeInto(path), std::nullopt);

    const std::string report = test::run("exiftool -s -s -s -Make -DateTimeOriginal -GPSLatitudeRef "
                                         "-Caption-Abstract -Creator -OwnerName '" +
                                         path.string() + "'");
    EXPECT_NE(report.find("Canon"), std::string::npos) << report;
    EXPECT_NE(report.find("2024:05:01 10:11:12"), std::string::npos) << report;
    EXPECT_NE(report.find("North"), std::string::npos) << report;
    EXPECT_NE(report.find("a quiet street"), std::string::npos) << report;
    EXPECT_NE(report.find("Ada"), std::string::npos) << report;

    const auto back = Metadata::read(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->text("Exif.Canon.OwnerName"), "Ada");
    EXPECT_EQ(back->text("Iptc.Application2.Caption"), "a quiet street");
    // The bytes form gives the same.
    Bytes inMemory = test::encodeJPEG(16, 16, test::gradientOf(16, 16));
    ASSERT_EQ(cameraMetadata().writeInto(inMemory), std::nullopt);
    EXPECT_EQ(Metadata::read(inMemory)->text("Exif.GPSInfo.GPSLatitude"), "48/1 51/1 2400/100");
}

// A TIFF's IPTC tag that the metadata library refuses (a length of five bytes' length) is read
// from the Photoshop resources instead, and the times written there without their zone stay so.
TEST(Metadata, KeepsTheIptcTimesOfTheBlockATIFFIsReadFrom)
{
    const auto digitalCreationTime = [](std::string time) {
        Bytes dataset{0x1C, 2, 63, 0, uint8_t(time.size())};
        dataset.insert(dataset.end(), time.begin(), time.end());
        return dataset;
    };
    test::TIFFOptions options;
    options.iptc = digitalCreationTime("101010");
    options.iptc.insert(options.iptc.end(), {0x1C, 2, 25, 0x80, 0x05, 0, 0, 0, 0, 3, 'a', 'b', 'c', 0, 0, 0, 0});
    const Bytes iptc = digitalCreationTime("121212");
    options.photoshopResources = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0, 0, 0, 0, uint8_t(iptc.size())};
    options.photoshopResources.insert(options.photoshopResources.end(), iptc.begin(), iptc.end());
    options.photoshopResources.push_back(0);

    test::TempFolder folder;
    const auto path = folder / "out.jpg";
    test::writeFile(path, test::encodeJPEG(16, 16, test::gradientOf(16, 16)));
    ASSERT_EQ(Metadata::read(test::encodeTIFF(16, 16, test::gradientOf(16, 16), options))->writeInto(path),
              std::nullopt);
    EXPECT_EQ(test::run("exiftool -s -s -s -IPTC:DigitalCreationTime '" + path.string() + "'"), "12:12:12\n");
}

TEST(Metadata, WritingIntoATIFFKeepsItsPixelsAndProfile)
{
    test::TempFolder folder;
    const auto path = folder / "out.tif";
    test::TIFFOptions options;
    options.icc = test::iccProfile("DisplayP3");
    options.bitsPerSample = 16;
    test::writeFile(path, test::encodeTIFF(20, 10, test::gradientOf(20, 10), options));
    const std::string pixels = "convert '" + path.string() + "' -depth 16 rgb:- | md5sum";
    const std::string before = test::run(pixels);
    ASSERT_EQ(cameraMetadata().writeInto(path), std::nullopt);
    const std::string info = test::run("tiffinfo '" + path.string() + "' 2>&1");
    EXPECT_NE(info.find("Image Width: 20 Image Length: 10"), std::string::npos) << info;
    EXPECT_NE(info.find("ICC Profile: <present>, " + std::to_string(options.icc.size()) + " bytes"), std::string::npos)
        << info;
    EXPECT_EQ(Metadata::read(path)->text("Exif.Photo.DateTimeOriginal"), "2024:05:01 10:11:12");
    EXPECT_EQ(test::run(pixels), before);
}

TEST(Metadata, AnotherTIFFsMetadataDoesNotDisturbTheStructureOfTheTarget)
{
    test::TempFolder folder;
    test::TIFFOptions big;
    big.bitsPerSample = 16;
    big.planar = true;
    const auto source = folder / "source.tif";
    test::writeFile(source, test::encodeTIFF(64, 40, test::gradientOf(64, 40), big));
    Metadata original = *Metadata::read(source);
    original.setText("Exif.Image.Artist", "Ada");
    EXPECT_TRUE(original.contains("Exif.Image.StripOffsets"));

    const auto target = folder / "target.tif";
    test::writeFile(target, test::encodeTIFF(10, 6, test::gradientOf(10, 6)));
    const std::string pixels = "convert '" + target.string() + "' -depth 8 rgb:- | md5sum";
    const std::string before = test::run(pixels);
    ASSERT_EQ(original.writeInto(target), std::nullopt);
    EXPECT_EQ(test::run(pixels), before);
    EXPECT_EQ(Metadata::read(target)->text("Exif.Image.Artist"), "Ada");
    EXPECT_EQ(Metadata::read(target)->integer("Exif.Image.ImageWidth"), 10);
}

TEST(Metadata, WritingIntoAPNGKeepsItsProfile)
{
    test::TempFolder folder;
    const auto path = folder / "out.png";
    test::PNGOptions options;
    options.icc = test::iccProfile("DisplayP3");
    test::writeFile(path, test::encodePNG(12, 8, test::gradientOf(12, 8), options));
    ASSERT_EQ(cameraMetadata().writeInto(path), std::nullopt);
    EXPECT_EQ(test::run("exiftool -s -s -s -ICC_Profile:ProfileDescription -Make '" + path.string() + "'"),
              "Display P3\nCanon\n");
}

TEST(Metadata, ReadsTheExifOfHEIFFiles)
{
    test::HeicOptions options;
    options.exif = cameraMetadata().exifBytes();
    const Bytes heic = test::encodeHeic(16, 16, test::gradientOf(16, 16), options);
    EXPECT_EQ(Metadata::read(heic)->text("Exif.Image.Make"), "Canon");
    test::TempFolder folder;
    test::writeFile(folder / "a.heic", heic);
    EXPECT_EQ(Metadata::read(folder / "a.heic")->text("Exif.GPSInfo.GPSLatitudeRef"), "N");
}

TEST(Metadata, RawBlocksRoundTrip)
{
    const Metadata m = cameraMetadata();
    EXPECT_EQ(Metadata::fromExif(m.exifBytes())->text("Exif.GPSInfo.GPSLatitudeRef"), "N");
    Bytes withHeader = {'E', 'x', 'i', 'f', 0, 0};
    const Bytes exif = m.exifBytes();
    withHeader.insert(withHeader.end(), exif.begin(), exif.end());
    EXPECT_EQ(Metadata::fromExif(withHeader)->text("Exif.Image.Make"), "Canon");
    EXPECT_EQ(Metadata::fromIptc(m.iptcBytes())->text("Iptc.Application2.Caption"), "a quiet street");
    EXPECT_EQ(Metadata::fromXmp(m.xmpPacket())->text("Xmp.dc.creator"), "Ada");
    EXPECT_TRUE(Metadata().exifBytes().empty());
    EXPECT_TRUE(Metadata().xmpPacket().empty());
}

} // namespace
} // namespace oxel
