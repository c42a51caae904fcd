#include "library/LibraryStore.h"

#include "library/RecordSamples.h"
#include "platform/AtomicFile.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <lcms2.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace oxel {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;

Bitmap filled(int64_t width, int64_t height, PixelFormat format, ColourSpace space)
{
    auto bitmap = Bitmap::allocate(width, height, format, std::move(space));
    EXPECT_TRUE(bitmap);
    for (size_t i = 0; i < bitmap->byteCount(); ++i) bitmap->mutableData()[i] = uint8_t(i * 7 % 251);
    return *bitmap;
}

// What exiftool, an independent reader, says of a JPEG: width, height, colour components and
// the embedded profile's description ("-" when none).
std::string describe(const std::vector<uint8_t>& jpeg)
{
    TemporaryFolder folder;
    const fs::path file = folder / "picture.jpg";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
    const std::string command =
        "exiftool -s3 -f -ImageWidth -ImageHeight -ColorComponents -ProfileDescription '" + file.string() + "'";
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        ::pclose(pipe);
    }
    for (char& c : text)
        if (c == '\n') c = ' ';
    return text;
}

// A grey profile with the sRGB tone curve's nominal gamma, made with lcms2.
ColourSpace greySpace()
{
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> icc(size);
    cmsSaveProfileToMem(profile, icc.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return {"Grey 2.2", icc};
}

TEST(LibraryJPEG, ShrinksTheLongEdgeAndKeepsSmallerPictures)
{
    auto jpeg = LibraryStore::jpegData(filled(1, 4000, PixelFormat::RGBX8, ColourSpace::sRGB()), 1024, 0.82);
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(describe(*jpeg), "1 1024 3 - ");

    jpeg = LibraryStore::jpegData(filled(2048, 1365, PixelFormat::RGBX8, ColourSpace::sRGB()), 1024, 0.82);
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(describe(*jpeg), "1024 682 3 - ");

    jpeg = LibraryStore::jpegData(filled(300, 200, PixelFormat::RGBX8, ColourSpace::sRGB()), 1024, 0.8);
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(describe(*jpeg), "300 200 3 - ");

    jpeg = LibraryStore::jpegData(filled(300, 200, PixelFormat::RGBX16, ColourSpace::sRGB()), 1024, 0.8);
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(describe(*jpeg), "300 200 3 - ");
    EXPECT_FALSE(LibraryStore::jpegData(Bitmap(), 1024, 0.8));
}

TEST(LibraryJPEG, KeepsAnRGBSpaceAndMakesGreySRGB)
{
    auto jpeg = LibraryStore::jpegData(filled(2000, 1000, PixelFormat::RGBX8, ColourSpace::displayP3()), 512, 0.8);
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(describe(*jpeg), "512 256 3 Display P3 ");

    jpeg = LibraryStore::jpegData(filled(2000, 1000, PixelFormat::Gray8, greySpace()), 512, 0.8);
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(describe(*jpeg), "512 256 3 - ");
}

// A writer process killed at random moments, over and over, while it rewrites one batch.json:
// the file always holds the old record or the new one, whole.
TEST(LibraryAtomicity, AKilledWriterLeavesTheOldOrTheNewRecord)
{
    TemporaryFolder folder;
    const fs::path file = folder / "batch.json";
    BatchRecord older = samples::fullBatchRecord(), newer = older;
    newer.name = std::string(20'000, 'n');
    const std::string oldBytes = *older.encode(), newBytes = *newer.encode();
    ASSERT_EQ(writeFileAtomically(file, oldBytes), std::nullopt);

    std::mt19937 random(17);
    for (int round = 0; round < 50; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (unsigned i = 0;; ++i) writeFileAtomically(file, i % 2 ? oldBytes : newBytes);
        }
        ::usleep(useconds_t(std::uniform_int_distribution<int>(200, 20'000)(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        const auto decoded = BatchRecord::decode(bytes);
        ASSERT_TRUE(decoded) << "round " << round;
        EXPECT_TRUE(*decoded == older || *decoded == newer) << "round " << round;
    }
}

} // namespace
} // namespace oxel
