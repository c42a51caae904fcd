#include "library/LibraryStore.h"

#include "library/RecordSamples.h"
#include "platform/AtomicFile.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <lcms2.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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

// What an independent reader prints of a JPEG written to a file: `before` and `after` surround
// the file's quoted path in the command. Lines are joined by spaces.
std::string readerSays(const std::vector<uint8_t>& jpeg, const std::string& before, const std::string& after)
{
    TemporaryFolder folder;
    const fs::path file = folder / "picture.jpg";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
    std::string text;
    if (FILE* pipe = ::popen((before + " '" + file.string() + "' " + after).c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        ::pclose(pipe);
    }
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// exiftool's width, height, colour components and embedded profile ("-" when none).
std::string describe(const std::vector<uint8_t>& jpeg)
{
    return readerSays(jpeg, "exiftool -s3 -f -ImageWidth -ImageHeight -ColorComponents -ProfileDescription", "");
}

// ImageMagick's mean red sample, 0...255.
double meanRed(const std::vector<uint8_t>& jpeg)
{
    return std::atof(readerSays(jpeg, "convert", "-format '%[fx:mean.r*255]' info:").c_str());
}

// A grey profile with a power-law tone curve, made with lcms2.
ColourSpace greySpace(double gamma)
{
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> icc(size);
    cmsSaveProfileToMem(profile, icc.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return {"Grey", icc};
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

    jpeg = LibraryStore::jpegData(filled(2000, 1000, PixelFormat::Gray8, greySpace(2.2)), 512, 0.8);
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(describe(*jpeg), "512 256 3 - ");

    // Linear grey 128 is half the light: about 188 in sRGB.
    auto linearGrey = *Bitmap::allocate(2000, 1000, PixelFormat::Gray8, greySpace(1.0));
    std::fill_n(linearGrey.mutableData(), linearGrey.byteCount(), uint8_t(128));
    jpeg = LibraryStore::jpegData(linearGrey, 512, 0.9);
    ASSERT_TRUE(jpeg);
    EXPECT_NEAR(meanRed(*jpeg), 188, 4);
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
