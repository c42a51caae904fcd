#include "library/OriginalRef.h"

#include "develop/codecs/JPEGEncoder.h"
#include "platform/FileBookmark.h"

#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sys/stat.h>

namespace oxel {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;

// A small JPEG original with the given metadata entries, written with exiv2.
fs::path writeOriginal(const fs::path& file, const std::map<std::string, std::string>& entries)
{
    auto bitmap = Bitmap::allocate(48, 32, PixelFormat::RGBX8, ColourSpace::sRGB());
    EXPECT_TRUE(bitmap);
    const auto bytes = encodeJPEG(*bitmap, 90, {});
    EXPECT_TRUE(bytes);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    Metadata metadata;
    for (const auto& [key, value] : entries) EXPECT_TRUE(metadata.setText(key, value)) << key;
    if (!entries.empty()) {
        EXPECT_EQ(metadata.writeInto(file), std::nullopt);
    }
    return file;
}

OriginalRef referenceTo(const fs::path& file, bool handoff = false, const Volumes& volumes = Volumes::current())
{
    return OriginalRef::make(file, SourceImage::load(file), handoff,
                             handoff ? std::optional<std::string>("host") : std::nullopt, volumes);
}

const std::map<std::string, std::string> paris = {
    {"Exif.GPSInfo.GPSLatitude", "48/1 51/1 2394/100"},
    {"Exif.GPSInfo.GPSLongitude", "2/1 21/1 756/100"},
};

TEST(OriginalRefMaking, ReadsTheGPSPositionWithItsExactReferences)
{
    TemporaryFolder folder;
    const double latitude = 48 + 51 / 60.0 + 23.94 / 3600, longitude = 2 + 21 / 60.0 + 7.56 / 3600;

    auto ref = referenceTo(writeOriginal(folder / "plain.jpg", paris));
    ASSERT_TRUE(ref.latitude && ref.longitude);
    EXPECT_NEAR(*ref.latitude, latitude, 1e-9);
    EXPECT_NEAR(*ref.longitude, longitude, 1e-9);

    auto south = paris;
    south["Exif.GPSInfo.GPSLatitudeRef"] = "S";
    south["Exif.GPSInfo.GPSLongitudeRef"] = "W";
    ref = referenceTo(writeOriginal(folder / "south.jpg", south));
    EXPECT_NEAR(ref.latitude.value_or(0), -latitude, 1e-9);
    EXPECT_NEAR(ref.longitude.value_or(0), -longitude, 1e-9);

    auto lowerCase = paris;
    lowerCase["Exif.GPSInfo.GPSLatitudeRef"] = "s";
    ref = referenceTo(writeOriginal(folder / "lower.jpg", lowerCase));
    EXPECT_NEAR(ref.latitude.value_or(0), latitude, 1e-9);

    ref = referenceTo(writeOriginal(folder / "half.jpg", {{"Exif.GPSInfo.GPSLatitude", "48/1 51/1 2394/100"}}));
    EXPECT_FALSE(ref.latitude);
    EXPECT_FALSE(ref.longitude);

    ref = referenceTo(writeOriginal(folder / "zero.jpg", {{"Exif.GPSInfo.GPSLatitude", "48/0 51/1 2394/100"},
                                                          {"Exif.GPSInfo.GPSLongitude", "2/1 21/1 756/100"}}));
    EXPECT_FALSE(ref.latitude);
    EXPECT_FALSE(ref.longitude);
}

TEST(OriginalRefMaking, KeepsMetadataForHandedOverOriginalsOnly)
{
    TemporaryFolder folder;
    auto entries = paris;
    entries["Exif.Photo.DateTimeOriginal"] = "2024:05:01 10:00:00";
    entries["Iptc.Application2.Caption"] = "harbour at dawn";
    entries["Xmp.dc.title"] = "stays with the file";
    const fs::path file = writeOriginal(folder / "IMG_0001.jpg", entries);

    const auto opened = referenceTo(file);
    EXPECT_FALSE(opened.metadata);
    EXPECT_FALSE(opened.properties());
    EXPECT_FALSE(opened.handoff);
    EXPECT_EQ(opened.path, file.string());
    EXPECT_EQ(opened.pixels, (std::vector<int64_t>{48, 32}));
    EXPECT_TRUE(opened.captured);
    EXPECT_EQ(opened.stamp->size, int64_t(fs::file_size(file)));
    EXPECT_TRUE(opened.bookmark);

    const auto handedOver = referenceTo(file, true);
    EXPECT_TRUE(handedOver.handoff);
    EXPECT_EQ(handedOver.sender, "host");
    const auto properties = handedOver.properties();
    ASSERT_TRUE(properties);
    EXPECT_EQ(properties->text("Iptc.Application2.Caption"), "harbour at dawn");
    EXPECT_EQ(properties->text("Exif.Photo.DateTimeOriginal"), "2024:05:01 10:00:00");
    EXPECT_TRUE(properties->contains("Exif.GPSInfo.GPSLatitude"));
    EXPECT_FALSE(properties->hasXmp());

    auto damaged = handedOver;
    damaged.metadata = std::vector<uint8_t>{1, 2, 3};
    EXPECT_FALSE(damaged.properties());
}

TEST(OriginalRefMaking, AFileWithoutASizeHasNoStamp)
{
    TemporaryFolder folder;
    EXPECT_FALSE(FileStamp::of(folder.path()));
    EXPECT_FALSE(FileStamp::of(folder / "missing.jpg"));
    const fs::path file = writeOriginal(folder / "a.jpg", {});
    EXPECT_EQ(FileStamp::of(file)->size, int64_t(fs::file_size(file)));
}

TEST(OriginalRefResolving, FindsARenamedOriginalAndRenewsItsBookmark)
{
    TemporaryFolder folder;
    const auto ref = referenceTo(writeOriginal(folder / "IMG_0001.jpg", {}));
    auto found = ref.resolve();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->file, folder / "IMG_0001.jpg");
    EXPECT_FALSE(found->renewedBookmark);

    fs::rename(folder / "IMG_0001.jpg", folder / "harbour.jpg");
    found = ref.resolve();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->file, folder / "harbour.jpg");
    ASSERT_TRUE(found->renewedBookmark);
    auto renewed = ref;
    renewed.bookmark = found->renewedBookmark;
    found = renewed.resolve();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->file, folder / "harbour.jpg");
    EXPECT_FALSE(found->renewedBookmark);
}

TEST(OriginalRefResolving, ANameThatIsNotUtf8IsFoundByItsExactBytesAfterTheRecordIsReadBack)
{
    TemporaryFolder folder;
    const fs::path file = writeOriginal(folder / "\xE9t\xE9" / "caf\xE9.jpg", {});
    const auto ref = referenceTo(file);
    auto read = OriginalRef::read(*parseJson(ref.json().dump()));
    EXPECT_EQ(read.path, (folder / "\uFFFDt\uFFFD" / "caf\uFFFD.jpg").string());
    auto found = read.resolve();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->file, file);
    EXPECT_FALSE(found->renewedBookmark);

    // Renamed in its folder, under another Latin-1 name: found, and the renewed bookmark keeps it.
    fs::rename(file, folder / "\xE9t\xE9" / "\xC9glise.jpg");
    found = read.resolve();
    ASSERT_TRUE(found && found->renewedBookmark);
    EXPECT_EQ(found->file, folder / "\xE9t\xE9" / "\xC9glise.jpg");
    read.bookmark = found->renewedBookmark;
    EXPECT_EQ(OriginalRef::read(read.json()).resolve()->file, folder / "\xE9t\xE9" / "\xC9glise.jpg");
}

TEST(OriginalRefResolving, FallsBackToThePathAndElseFindsNothing)
{
    TemporaryFolder folder;
    auto ref = referenceTo(writeOriginal(folder / "IMG_0001.jpg", {}));
    const std::string damaged = "{\"v\":1,\"path\":";
    ref.bookmark = std::vector<uint8_t>(damaged.begin(), damaged.end());
    auto found = ref.resolve();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->file, folder / "IMG_0001.jpg");
    EXPECT_FALSE(found->renewedBookmark);

    // The bookmark leads to a file that is gone, the path holds another one.
    auto elsewhere = referenceTo(writeOriginal(folder / "other" / "gone.jpg", {}));
    fs::remove(folder / "other" / "gone.jpg");
    elsewhere.path = (folder / "IMG_0001.jpg").string();
    found = elsewhere.resolve();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->file, folder / "IMG_0001.jpg");

    ref.bookmark.reset();
    fs::remove(folder / "IMG_0001.jpg");
    EXPECT_FALSE(ref.resolve());
}

} // namespace
} // namespace oxel
