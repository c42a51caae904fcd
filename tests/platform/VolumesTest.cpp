#include "platform/Volumes.h"
#include "platform/FileBookmark.h"
#include "platform/Trash.h"

#include "support/TemporaryFolder.h"
#include "support/TrashHome.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace oxel {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;

uint64_t deviceOf(const fs::path& path)
{
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0);
    return uint64_t(status.st_dev);
}

void writeText(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

constexpr const char* mountInfoFixture = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                                         "30 22 8:2 / /home rw,relatime shared:2 - ext4 /dev/sda2 rw\n"
                                         "41 22 8:17 / /media/ana/CARD\\04001 rw,nosuid shared:9 - exfat /dev/sdb1 rw\n"
                                         "42 22 8:33 / /run/media/ana/BACKUP rw shared:10 - ext4 /dev/sdc1 rw\n"
                                         "43 22 8:49 / /mnt/scans rw shared:11 - ext4 /dev/sdd1 rw\n"
                                         "44 22 0:5 / /srv/photos rw shared:12 - nfs host:/x rw\n"
                                         "this line is not a mount\n";

TEST(Volumes, ReadsTheMountTableAndNamesRemovableMedia)
{
    const auto volumes = Volumes::fromMountInfo(mountInfoFixture);
    ASSERT_EQ(volumes.mounts().size(), 6u);
    EXPECT_EQ(volumes.mounts()[2].point, "/media/ana/CARD 01");
    EXPECT_EQ(volumes.mounts()[2].device, uint64_t(makedev(8, 17)));

    EXPECT_EQ(Volumes::volumeNameOfMountPoint("/media/ana/CARD 01"), "CARD 01");
    EXPECT_EQ(Volumes::volumeNameOfMountPoint("/run/media/ana/BACKUP"), "BACKUP");
    EXPECT_EQ(Volumes::volumeNameOfMountPoint("/mnt/scans"), "scans");
    EXPECT_EQ(Volumes::volumeNameOfMountPoint("/"), std::nullopt);
    EXPECT_EQ(Volumes::volumeNameOfMountPoint("/home"), std::nullopt);
    EXPECT_EQ(Volumes::volumeNameOfMountPoint("/srv/photos"), std::nullopt);
    EXPECT_EQ(Volumes::volumeNameOfMountPoint("/run/media/ana"), std::nullopt);

    EXPECT_TRUE(volumes.isVolumeMounted("CARD 01"));
    EXPECT_TRUE(volumes.isVolumeMounted("BACKUP"));
    EXPECT_FALSE(volumes.isVolumeMounted("CARD 02"));
    EXPECT_FALSE(volumes.isVolumeMounted("photos"));
}

TEST(Volumes, FindsAFilesVolumeByItsDeviceNumber)
{
    TemporaryFolder folder;
    writeText(folder / "DCIM" / "a.jpg", "x");
    const uint64_t device = deviceOf(folder.path());
    const Volumes onCard({{"/", device + 1, std::nullopt}, {"/media/ana/CARD 01", device, std::nullopt}});
    EXPECT_EQ(onCard.volumeName(folder / "DCIM" / "a.jpg"), "CARD 01");
    const Volumes onRoot({{"/", device, std::nullopt}});
    EXPECT_EQ(onRoot.volumeName(folder / "DCIM" / "a.jpg"), std::nullopt);
    EXPECT_EQ(onCard.volumeName(folder / "missing.jpg"), std::nullopt);
    // This process's own table holds the file system of the temporary folder.
    EXPECT_TRUE(Volumes::current().mountOf(folder.path()).has_value());
}

// A card mounted at a folder of the temporary folder, described by a table the test gives.
struct FakeCard {
    TemporaryFolder folder;
    fs::path mount = folder / "media" / "CARD";
    fs::path photo = mount / "DCIM" / "100" / "IMG_0001.JPG";

    FakeCard()
    {
        writeText(photo, "pixels of the original");
        for (int i = 0; i < 20; ++i) writeText(mount / "DCIM" / "100" / ("other" + std::to_string(i)), "other");
    }
    Volumes mountedAt(const fs::path& point) const
    {
        return Volumes({{point, deviceOf(folder.path()), Volumes::fileSystemId(folder.path())}});
    }
};

TEST(FileBookmark, FindsTheFileWhereItIsAndAfterARename)
{
    FakeCard card;
    const auto volumes = card.mountedAt(card.mount);
    const auto bookmark = FileBookmark::make(card.photo, volumes);
    ASSERT_TRUE(bookmark);

    auto found = FileBookmark::resolve(*bookmark, volumes);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->file, card.photo);
    EXPECT_FALSE(found->stale);

    const fs::path renamed = card.photo.parent_path() / "renamed.jpg";
    fs::rename(card.photo, renamed);
    found = FileBookmark::resolve(*bookmark, volumes);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->file, renamed);
    EXPECT_TRUE(found->stale);

    const auto renewed = FileBookmark::make(found->file, volumes);
    ASSERT_TRUE(renewed);
    found = FileBookmark::resolve(*renewed, volumes);
    ASSERT_TRUE(found);
    EXPECT_FALSE(found->stale);
}

TEST(FileBookmark, FindsTheFileOnAMediumMountedElsewhere)
{
    FakeCard card;
    const auto bookmark = FileBookmark::make(card.photo, card.mountedAt(card.mount));
    ASSERT_TRUE(bookmark);
    const fs::path remounted = card.folder / "media" / "CARD1";
    fs::rename(card.mount, remounted);

    const auto found = FileBookmark::resolve(*bookmark, card.mountedAt(remounted));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->file, remounted / "DCIM" / "100" / "IMG_0001.JPG");
    EXPECT_TRUE(found->stale);

    // Renamed as well: the recorded folder is scanned under the new mount point.
    fs::rename(found->file, remounted / "DCIM" / "100" / "kept.jpg");
    const auto scanned = FileBookmark::resolve(*bookmark, card.mountedAt(remounted));
    ASSERT_TRUE(scanned);
    EXPECT_EQ(scanned->file, remounted / "DCIM" / "100" / "kept.jpg");
}

TEST(FileBookmark, KnowsACopyBySizeAndTimeButNotAnotherFile)
{
    FakeCard card;
    const auto volumes = card.mountedAt(card.mount);
    const auto bookmark = FileBookmark::make(card.photo, volumes);
    ASSERT_TRUE(bookmark);
    const fs::path copy = card.photo.parent_path() / "copy.jpg";
    ASSERT_EQ(std::system(("cp -p '" + card.photo.string() + "' '" + copy.string() + "'").c_str()), 0);
    fs::remove(card.photo);
    const auto found = FileBookmark::resolve(*bookmark, volumes);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->file, copy);

    // Moved into another folder: not found.
    fs::create_directories(card.mount / "elsewhere");
    fs::rename(copy, card.mount / "elsewhere" / "copy.jpg");
    EXPECT_FALSE(FileBookmark::resolve(*bookmark, volumes));
}

TEST(FileBookmark, DamagedBytesAndMissingFilesResolveToNothing)
{
    FakeCard card;
    const auto volumes = card.mountedAt(card.mount);
    EXPECT_FALSE(FileBookmark::make(card.folder / "missing.jpg", volumes));
    for (const std::string damaged : {"", "{", "[]", "{\"v\":1}", "{\"v\":2,\"path\":\"/x\"}"}) {
        const std::vector<uint8_t> bytes(damaged.begin(), damaged.end());
        EXPECT_FALSE(FileBookmark::resolve(bytes, volumes)) << damaged;
    }
    auto bookmark = FileBookmark::make(card.photo, volumes);
    ASSERT_TRUE(bookmark);
    bookmark->resize(bookmark->size() / 2);
    EXPECT_FALSE(FileBookmark::resolve(*bookmark, volumes));
}

TEST(Trash, MovesToTheDesktopTrashAndReportsARefusal)
{
    const fs::path root = testing::TrashHome::instance().root();
    const fs::path file = root / "trash-me.txt";
    writeText(file, "bye");
    EXPECT_EQ(moveToTrash(file), std::nullopt);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(fs::exists(testing::TrashHome::instance().trashFiles() / "trash-me.txt"));
    EXPECT_TRUE(fs::exists(testing::TrashHome::instance().trashInfo() / "trash-me.txt.trashinfo"));

    const auto refusal = moveToTrash(root / "not-there");
    ASSERT_TRUE(refusal);
    EXPECT_FALSE(refusal->empty());
}

} // namespace
} // namespace oxel
