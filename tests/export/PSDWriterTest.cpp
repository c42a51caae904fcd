#include "export/LayeredTestSupport.h"

#include "export/PSDReader.h"
#include "export/PSDWriter.h"

#include "imaging/RenderContext.h"

#include <nlohmann/json.hpp>

#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace oxel {
namespace {

using layeredtest::bigEndian;
using layeredtest::fileBytes;
using layeredtest::pictureOf;
using layeredtest::run;
using layeredtest::ScratchFolder;

using Sample = std::function<uint16_t(int64_t, int64_t, int)>;

uint16_t gradient(int64_t x, int64_t y, int c)
{
    return uint16_t((x * 1543 + y * 311 + c * 7001) % 65536);
}
uint16_t lightSample(int64_t x, int64_t y, int c)
{
    return uint16_t(30000 + (x * 37 + y * 53 + c * 11) % 5000);
}
uint16_t maskSample(int64_t x, int64_t y, int)
{
    return uint16_t((x * 2003 + y * 97) % 65536);
}
uint16_t grainSample(int64_t x, int64_t y, int)
{
    return uint16_t(32768 + (x * 7 + y * 13) % 301 - 150);
}
uint16_t compositeSample(int64_t x, int64_t y, int c)
{
    return uint16_t((x + y + c) * 100);
}

struct Stack {
    std::vector<PSDLayer> layers;
    std::vector<Sample> pictures;
    std::vector<std::optional<Sample>> masks;

    void add(std::string name, PSDBlend blend, double opacity, bool visible, int64_t width, int64_t height,
             Sample picture, std::optional<Sample> mask = std::nullopt)
    {
        std::optional<Image> maskImage;
        if (mask) maskImage = pictureOf(width, height, *mask);
        layers.push_back({std::move(name), blend, opacity, visible, pictureOf(width, height, picture), maskImage, 255});
        pictures.push_back(picture);
        masks.push_back(mask);
    }
};

class LayeredWriter : public ::testing::Test {
protected:
    ScratchFolder folder;
    RenderContext context;

    PSDWriter writerFor(int64_t width, int64_t height) const
    {
        PSDWriter writer;
        writer.width = width;
        writer.height = height;
        writer.dpi = 240;
        writer.context = &context;
        writer.bandRows = 16;
        writer.iccProfile = std::vector<uint8_t>{'p', 'r', 'o', 'f', 'i', 'l', 'e'};
        return writer;
    }

    static Stack threeLayers(int64_t width, int64_t height)
    {
        Stack stack;
        stack.add("original", PSDBlend::normal, 1.0, true, width, height, gradient);
        stack.add("light (moved) \xC3\xA9t\xC3\xA9", PSDBlend::linearLight, 0.5, true, width, height, lightSample,
                  maskSample);
        stack.add("grain", PSDBlend::overlay, 1.7, false, width, height, grainSample);
        return stack;
    }

    // One "original" layer written without a profile.
    std::filesystem::path writtenWithoutProfile(const std::string& name, int64_t width, int64_t height,
                                                bool layeredTIFF) const
    {
        PSDWriter writer = writerFor(width, height);
        writer.iccProfile.reset();
        Stack stack;
        stack.add("original", PSDBlend::normal, 1.0, true, width, height, gradient);
        const auto destination = folder / name;
        EXPECT_FALSE(writer.write(stack.layers, destination, pictureOf(width, height, compositeSample), layeredTIFF));
        return destination;
    }

    nlohmann::json inspect(const std::filesystem::path& file) const
    {
        return nlohmann::json::parse(layeredtest::inspectDocument(file, folder.path()));
    }

    void expectSamples(const std::string& rawName, int64_t width, int64_t height, int channels,
                       const Sample& expected) const
    {
        const auto bytes = fileBytes(folder / rawName);
        ASSERT_EQ(bytes.size(), size_t(width * height * channels * 2)) << rawName;
        for (int64_t y = 0; y < height; ++y)
            for (int64_t x = 0; x < width; ++x)
                for (int c = 0; c < channels; ++c) {
                    const size_t i = size_t(((y * width + x) * channels + c) * 2);
                    ASSERT_EQ(uint16_t(bytes[i] | bytes[i + 1] << 8), expected(x, y, c))
                        << rawName << " at " << x << "," << y << " channel " << c;
                }
    }

    // What psd-tools reads back must be exactly what was written.
    void expectLayersRead(const nlohmann::json& report, const Stack& stack, int64_t width, int64_t height) const
    {
        ASSERT_EQ(report["layers"].size(), stack.layers.size());
        for (size_t i = 0; i < stack.layers.size(); ++i) {
            expectSamples("layer" + std::to_string(i) + ".raw", width, height, 3, stack.pictures[i]);
            if (stack.masks[i]) expectSamples("mask" + std::to_string(i) + ".raw", width, height, 1, *stack.masks[i]);
        }
        expectSamples("composite.raw", width, height, 3, compositeSample);
    }
};

TEST_F(LayeredWriter, AnIndependentReaderSeesEveryLayerExactly)
{
    const int64_t width = 37, height = 41;
    const Stack stack = threeLayers(width, height);
    const auto destination = folder / "out.psd";
    ASSERT_FALSE(
        writerFor(width, height).write(stack.layers, destination, pictureOf(width, height, compositeSample), false));

    const auto report = inspect(destination);
    EXPECT_EQ(report["version"], 1);
    EXPECT_EQ(report["depth"], 16);
    EXPECT_EQ(report["width"], width);
    EXPECT_EQ(report["resources"], nlohmann::json::array({1005, 1039}));
    const auto& layers = report["layers"];
    EXPECT_EQ(layers[0]["name"], "original");
    EXPECT_EQ(layers[0]["blend"], "NORMAL");
    EXPECT_EQ(layers[0]["opacity"], 255);
    EXPECT_EQ(layers[0]["mask"], nullptr);
    EXPECT_EQ(layers[1]["name"], "light (moved) \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(layers[1]["blend"], "LINEAR_LIGHT");
    EXPECT_EQ(layers[1]["opacity"], 128);
    EXPECT_EQ(layers[1]["visible"], true);
    EXPECT_EQ(layers[1]["mask"]["default"], 255);
    EXPECT_EQ(layers[2]["blend"], "OVERLAY");
    EXPECT_EQ(layers[2]["opacity"], 255);
    EXPECT_EQ(layers[2]["visible"], false);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(layers[i]["id"], i + 1);
    expectLayersRead(report, stack, width, height);

    int status = 0;
    const auto listing = run(layeredtest::magick("identify '" + destination.string() + "' 2>&1"), &status);
    EXPECT_EQ(status, 0) << listing;
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 4) << listing;
}

TEST_F(LayeredWriter, ALongNameIsCutInThePascalFieldButKeptWholeInTheUnicodeName)
{
    const int64_t width = 4, height = 3;
    Stack stack;
    const std::string longName(300, 'n');
    stack.add(longName, PSDBlend::normal, 1.0, true, width, height, gradient);
    const auto destination = folder / "long.psd";
    ASSERT_FALSE(
        writerFor(width, height).write(stack.layers, destination, pictureOf(width, height, compositeSample), false));
    EXPECT_EQ(inspect(destination)["layers"][0]["name"], longName);
}

TEST_F(LayeredWriter, APictureWiderThanADocumentAllowsBecomesALargeDocument)
{
    for (int64_t width : {30000, 30001}) {
        const int64_t height = 2;
        const Stack stack = threeLayers(width, height);
        const auto destination = folder / ("wide" + std::to_string(width) + ".psd");
        ASSERT_FALSE(writerFor(width, height)
                         .write(stack.layers, destination, pictureOf(width, height, compositeSample), false));
        const auto bytes = fileBytes(destination);
        const bool large = width > 30000;
        EXPECT_EQ(bigEndian(bytes, 4, 2), large ? 2u : 1u);
        const auto report = inspect(destination);
        EXPECT_EQ(report["version"], large ? 2 : 1);
        EXPECT_EQ(report["layers"][1]["name"], stack.layers[1].name);
        expectLayersRead(report, stack, width, height);
        int status = 0;
        const auto listing = run(layeredtest::magick("identify '" + destination.string() + "' 2>&1"), &status);
        EXPECT_EQ(status, 0) << listing;
        EXPECT_NE(listing.find(std::to_string(width) + "x2"), std::string::npos) << listing;
    }
}

// The "Lr16" layer data of a document, found from the layer-and-mask section.
std::vector<uint8_t> layerDataOfDocument(const std::vector<uint8_t>& bytes)
{
    size_t at = 30 + 4 + bigEndian(bytes, 30, 4);
    at += 4 + 4 + 4;
    EXPECT_EQ(std::string(bytes.begin() + long(at), bytes.begin() + long(at) + 8), "8BIMLr16");
    const size_t length = bigEndian(bytes, at + 8, 4);
    return {bytes.begin() + long(at) + 12, bytes.begin() + long(at + 12 + length)};
}

// The tag entries of a big-endian TIFF's first directory: tag to (count, value or offset).
std::map<uint16_t, std::pair<uint64_t, uint64_t>> tiffTags(const std::vector<uint8_t>& bytes)
{
    std::map<uint16_t, std::pair<uint64_t, uint64_t>> tags;
    const size_t entries = bigEndian(bytes, 8, 2);
    for (size_t entry = 0; entry < entries; ++entry) {
        const size_t at = 10 + entry * 12;
        tags[uint16_t(bigEndian(bytes, at, 2))] = {bigEndian(bytes, at + 4, 4), bigEndian(bytes, at + 8, 4)};
    }
    return tags;
}

TEST_F(LayeredWriter, ALayeredTIFFShowsTheCompositeAndCarriesTheDocumentsLayerData)
{
    const int64_t width = 100, height = 100;
    const Stack stack = threeLayers(width, height);
    const auto psd = folder / "layers.psd";
    const auto tiff = folder / "layers.tif";
    const PSDWriter writer = writerFor(width, height);
    const Image composite = pictureOf(width, height, compositeSample);
    ASSERT_FALSE(writer.write(stack.layers, psd, composite, false));
    ASSERT_FALSE(writer.write(stack.layers, tiff, composite, true));

    const auto bytes = fileBytes(tiff);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
              (std::vector<uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 8}));
    ASSERT_EQ(bigEndian(bytes, 8, 2), 16u);
    auto tags = tiffTags(bytes);
    // One strip of 100 rows: the offset and count sit in the entries themselves.
    EXPECT_EQ(tags[278].second, 100u);
    EXPECT_EQ(tags[279].second, 60000u);
    EXPECT_EQ(tags[273].second + 60000, bytes.size());
    const auto [blockCount, blockAt] = tags[37724];
    EXPECT_EQ(blockCount % 4, 0u);
    EXPECT_EQ(blockAt % 2, 0u);
    const std::string signature(bytes.begin() + long(blockAt), bytes.begin() + long(blockAt) + 44);
    EXPECT_EQ(signature, std::string("Adobe Photoshop Document Data Block\0008BIMLr16", 44));
    const size_t layerLength = bigEndian(bytes, blockAt + 44, 4);
    const std::vector<uint8_t> tiffLayers(bytes.begin() + long(blockAt) + 48,
                                          bytes.begin() + long(blockAt + 48 + layerLength));
    EXPECT_EQ(tiffLayers, layerDataOfDocument(fileBytes(psd)));

    int status = 0;
    const auto info = run("tiffinfo '" + tiff.string() + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << info;
    EXPECT_NE(info.find("Bits/Sample: 16"), std::string::npos) << info;
    EXPECT_NE(info.find("Resolution: 240, 240 pixels/inch"), std::string::npos) << info;
    EXPECT_NE(info.find("ICC Profile: <present>, 7 bytes"), std::string::npos) << info;
    const auto listing =
        run(layeredtest::magick("identify -format '%[label];' '" + tiff.string() + "' 2>/dev/null"), &status);
    EXPECT_EQ(listing, ";original;light (moved) \xC3\xA9t\xC3\xA9;grain;");
    const auto firstPixels = run(layeredtest::magick(
        "convert '" + tiff.string() + "[0]' -depth 16 -endian MSB rgb:- | od -An -tu2 --endian=big -N 12"));
    EXPECT_EQ(layeredtest::numbersIn(firstPixels), (std::vector<uint64_t>{0, 100, 200, 100, 200, 300}));
}

TEST_F(LayeredWriter, AWideLayeredTIFFSplitsItsCompositeIntoStripsOfAtMost8MiB)
{
    // 60,000 bytes a row: 139 rows a strip, so 140 rows make two strips.
    const int64_t width = 10000, height = 140;
    const auto tiff = folder / "wide.tif";
    Stack stack;
    stack.add("original", PSDBlend::normal, 1.0, true, width, height, gradient);
    ASSERT_FALSE(writerFor(width, height).write(stack.layers, tiff, pictureOf(width, height, compositeSample), true));

    int status = 0;
    const auto info = run("tiffinfo '" + tiff.string() + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << info;
    EXPECT_NE(info.find("Rows/Strip: 139"), std::string::npos) << info;
    const auto lastPixel =
        run(layeredtest::magick("convert '" + tiff.string() +
                                "[0]' -crop 1x1+9999+139 -depth 16 -endian MSB rgb:- | od -An -tu2 --endian=big"));
    EXPECT_EQ(layeredtest::numbersIn(lastPixel),
              (std::vector<uint64_t>{compositeSample(9999, 139, 0), compositeSample(9999, 139, 1),
                                     compositeSample(9999, 139, 2)}));
}

TEST_F(LayeredWriter, TheWidestLayeredTIFFWithoutAProfileKeepsItsLayoutInStep)
{
    // 1,800,000 bytes a row: 4 rows a strip, so 5 rows make two strips.
    const int64_t width = 300000;
    const auto tiff = writtenWithoutProfile("widest.tif", width, 5, true);

    // Readers refuse a profile tag of no bytes: without a profile there are 15 entries, the data
    // after the directory starts 12 bytes earlier, and every offset moves with it.
    const auto bytes = fileBytes(tiff);
    ASSERT_EQ(bigEndian(bytes, 8, 2), 15u);
    auto tags = tiffTags(bytes);
    EXPECT_EQ(tags.count(34675), 0u);
    EXPECT_EQ(tags[258], (std::pair<uint64_t, uint64_t>{3, 194}));
    EXPECT_EQ(tags[278].second, 4u);
    ASSERT_EQ(tags[273], (std::pair<uint64_t, uint64_t>{2, 200}));
    EXPECT_EQ(tags[279], (std::pair<uint64_t, uint64_t>{2, 208}));
    EXPECT_EQ(bigEndian(bytes, 208, 4), 4u * 1'800'000u);
    EXPECT_EQ(bigEndian(bytes, 212, 4), 1'800'000u);
    EXPECT_EQ(bigEndian(bytes, 200, 4) + 5u * 1'800'000u, bytes.size());
    EXPECT_EQ(bigEndian(bytes, 204, 4), bigEndian(bytes, 200, 4) + 4u * 1'800'000u);
    EXPECT_EQ(tags[282].second, 216u);
    EXPECT_EQ(tags[305], (std::pair<uint64_t, uint64_t>{9, 232}));
    EXPECT_EQ(tags[37724].second, 242u);
    int status = 0;
    const auto info = run("tiffinfo '" + tiff.string() + "' >/dev/null 2>&1; echo $?");
    EXPECT_EQ(info, "0\n");
    const auto listing =
        run(layeredtest::magick("identify -format '%[label];' '" + tiff.string() + "' 2>/dev/null"), &status);
    EXPECT_EQ(listing, ";original;");
    const auto original = PSDReader::readOriginal(PSDReader::MemorySource(bytes));
    ASSERT_TRUE(original);
    EXPECT_EQ(original->width, width);
    EXPECT_TRUE(original->iccProfile.empty());
}

TEST_F(LayeredWriter, ACanvasOutsideTheLimitsIsRefusedBeforeAnythingIsCreated)
{
    for (auto [width, height] : {std::pair<int64_t, int64_t>{300001, 2}, {2, 0}, {0, 5}}) {
        const auto error = writerFor(width, height).write({}, folder / "big.psd", Image(), false);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind, PSDWriterError::Kind::tooLarge);
        EXPECT_EQ(error->description(), "canvas is larger than a PSB allows");
    }
    EXPECT_TRUE(folder.entries().empty());
    EXPECT_EQ(folder.stagingFolders(), 0u);

    Stack widest;
    widest.add("original", PSDBlend::normal, 1.0, true, 300000, 1, gradient);
    EXPECT_FALSE(
        writerFor(300000, 1).write(widest.layers, folder / "widest.psb", pictureOf(300000, 1, compositeSample), false));
}

TEST_F(LayeredWriter, AFailedWriteLeavesTheDestinationAsItWasAndNoTemporaryFiles)
{
    const int64_t width = 200, height = 200;
    const Stack stack = threeLayers(width, height);
    const PSDWriter writer = writerFor(width, height);
    const Image composite = pictureOf(width, height, compositeSample);

    const auto missing = writer.write(stack.layers, folder / "gone" / "out.psd", composite, false);
    ASSERT_TRUE(missing);
    EXPECT_NE(missing->description().find("No such file or directory"), std::string::npos) << missing->description();

    // Files may not grow past 150 KB: the staged channels fit, the finished document does not.
    const auto destination = folder / "kept.psd";
    layeredtest::writeBytes(destination, {'o', 'l', 'd'});
    for (bool layeredTIFF : {false, true}) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit small = previous;
        small.rlim_cur = 150'000;
        setrlimit(RLIMIT_FSIZE, &small);
        const auto error = writer.write(stack.layers, destination, composite, layeredTIFF);
        setrlimit(RLIMIT_FSIZE, &previous);
        ASSERT_TRUE(error);
        EXPECT_NE(error->description().find("File too large"), std::string::npos) << error->description();
    }
    EXPECT_EQ(fileBytes(destination), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"kept.psd"});
    EXPECT_EQ(folder.stagingFolders(), 0u);
}

// When the process `pid` started, as the system counts it.
std::string startTimeOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int index = 3; index <= 22; ++index) fields >> field;
    return field;
}

mode_t modeOf(const std::filesystem::path& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

TEST_F(LayeredWriter, StagesPrivatelyUnderItsProcessAndRemovesWhatKilledProcessesLeft)
{
    const auto root = folder / "staging";
    const auto living = std::to_string(::getppid()) + "-" + startTimeOf(::getppid());
    const auto reused = std::to_string(::getppid()) + "-1";
    for (const auto& name : {std::string("2147483646-77"), living, reused, std::string("notes")}) {
        std::filesystem::create_directories(root / name / "psdwriter-0123");
        layeredtest::writeBytes(root / name / "psdwriter-0123" / "L0C0.z", std::vector<uint8_t>(1000, 7));
    }

    PSDWriter writer = writerFor(40, 30);
    writer.stagingRoot = root;
    const Stack stack = threeLayers(40, 30);
    const auto own = root / (std::to_string(::getpid()) + "-" + startTimeOf(::getpid()));
    std::vector<std::string> staged;
    const auto watchStaging = [&](double) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(own))
            staged.push_back(entry.path().filename().string() + " " + std::to_string(modeOf(entry.path())));
    };
    EXPECT_FALSE(writer.write(stack.layers, folder / "a.psd", pictureOf(40, 30, compositeSample), false, watchStaging));

    ASSERT_FALSE(staged.empty());
    for (const auto& entry : staged) {
        const bool isFolder = entry.starts_with("psdwriter-");
        EXPECT_TRUE(entry.ends_with(isFolder ? " 448" : " 384")) << entry << " is readable by others";
    }
    EXPECT_EQ(modeOf(root), 0700u);
    EXPECT_EQ(modeOf(own), 0700u);
    EXPECT_TRUE(std::filesystem::is_empty(own)) << "a finished write removes its staging";
    EXPECT_FALSE(std::filesystem::exists(root / "2147483646-77")) << "the process is gone";
    EXPECT_FALSE(std::filesystem::exists(root / reused)) << "another process had the id before";
    EXPECT_TRUE(std::filesystem::exists(root / living / "psdwriter-0123" / "L0C0.z")) << "its process still runs";
    EXPECT_TRUE(std::filesystem::exists(root / "notes"));
}

TEST_F(LayeredWriter, StagesUnderTheCacheFolderUnlessToldOtherwise)
{
    const Stack stack = threeLayers(20, 20);
    size_t during = 0;
    EXPECT_FALSE(writerFor(20, 20).write(stack.layers, folder / "a.psd", pictureOf(20, 20, compositeSample), false,
                                         [&](double) { during = std::max(during, folder.stagingFolders()); }));
    EXPECT_EQ(during, 1u);
    EXPECT_EQ(folder.stagingFolders(), 0u);
}

TEST_F(LayeredWriter, ProgressRisesOnTheCallersThreadToCompletion)
{
    const int64_t width = 20, height = 40;
    const Stack stack = threeLayers(width, height);
    std::vector<double> reports;
    bool onCaller = true;
    const auto caller = std::this_thread::get_id();
    ASSERT_FALSE(
        writerFor(width, height)
            .write(stack.layers, folder / "p.psd", pictureOf(width, height, compositeSample), false, [&](double p) {
                reports.push_back(p);
                onCaller = onCaller && std::this_thread::get_id() == caller;
            }));
    EXPECT_TRUE(onCaller);
    ASSERT_GE(reports.size(), 3u);
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_DOUBLE_EQ(reports[reports.size() - 3], 0.9);
    EXPECT_DOUBLE_EQ(reports[reports.size() - 2], 0.95);
    EXPECT_DOUBLE_EQ(reports.back(), 1.0);
    // Five stages (three layers, one mask, the composite) of three bands each.
    EXPECT_EQ(reports.size(), 5u * 3u + 2u);
}

TEST_F(LayeredWriter, WithoutAProfileTheDocumentHoldsOnlyItsResolution)
{
    const auto destination = writtenWithoutProfile("plain.psd", 3, 3, false);
    const auto bytes = fileBytes(destination);
    EXPECT_EQ(bigEndian(bytes, 30, 4), 28u);
    EXPECT_EQ(inspect(destination)["resources"], nlohmann::json::array({1005}));
    // 240 dpi as 16.16 fixed point.
    EXPECT_EQ(bigEndian(bytes, 34 + 12, 4), 240u * 65536u);
}

} // namespace
} // namespace oxel

namespace oxel {
namespace {

TEST_F(LayeredWriter, LayersSharingOnePictureEachCarryItWhole)
{
    const int64_t width = 19, height = 11;
    Stack stack;
    stack.add("original", PSDBlend::normal, 1.0, true, width, height, gradient);
    stack.add("light (moved)", PSDBlend::linearLight, 1.0, true, width, height, lightSample, maskSample);
    stack.layers.push_back(
        {"light", PSDBlend::linearLight, 0.4, true, stack.layers[1].image, pictureOf(width, height, grainSample), 255});
    stack.pictures.push_back(lightSample);
    stack.masks.push_back(Sample(grainSample));
    const auto destination = folder / "shared.psd";
    ASSERT_FALSE(
        writerFor(width, height).write(stack.layers, destination, pictureOf(width, height, compositeSample), false));
    expectLayersRead(inspect(destination), stack, width, height);
}

TEST_F(LayeredWriter, AWriterWithoutAContextOrWithEmptyBandsStillWrites)
{
    const int64_t width = 5, height = 4;
    Stack stack;
    stack.add("original", PSDBlend::normal, 1.0, true, width, height, gradient);
    PSDWriter writer = writerFor(width, height);
    writer.context = nullptr;
    writer.bandRows = 0;
    const auto destination = folder / "defaults.psd";
    ASSERT_FALSE(writer.write(stack.layers, destination, pictureOf(width, height, compositeSample), false));
    expectLayersRead(inspect(destination), stack, width, height);
}

TEST_F(LayeredWriter, ALayerWithoutAPictureIsRefused)
{
    Stack stack;
    stack.add("original", PSDBlend::normal, 1.0, true, 4, 4, gradient);
    stack.layers.push_back({"empty", PSDBlend::normal, 1.0, true, Image(), std::nullopt, 255});
    const auto error = writerFor(4, 4).write(stack.layers, folder / "x.psd", pictureOf(4, 4, compositeSample), false);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description(), "layer \"empty\" has no picture");
    EXPECT_TRUE(folder.entries().empty());
}

} // namespace
} // namespace oxel
