#include "export/LayeredTestSupport.h"

#include "export/ByteWriter.h"
#include "export/ChannelStaging.h"
#include "export/ZlibSink.h"

#include "imaging/RenderContext.h"

#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

namespace oxel {
namespace {

using layeredtest::ScratchFolder;

std::vector<uint8_t> inflated(const std::vector<uint8_t>& stream, size_t expected)
{
    std::vector<uint8_t> out(expected + 1);
    uLongf produced = uLongf(out.size());
    EXPECT_EQ(uncompress(out.data(), &produced, stream.data(), uLong(stream.size())), Z_OK);
    out.resize(produced);
    return out;
}

std::vector<uint16_t> deltaCoded(const std::vector<uint16_t>& samples, int component = 0)
{
    std::vector<uint16_t> band;
    for (uint16_t s : samples) band.insert(band.end(), {uint16_t(component == 0 ? s : 0), 0, 0, 65535});
    std::vector<uint8_t> bytes(samples.size() * 2);
    deltaCodeBand(band.data(), int64_t(samples.size()), 1, 0, bytes.data());
    std::vector<uint16_t> values;
    for (size_t i = 0; i < bytes.size(); i += 2) values.push_back(uint16_t(bytes[i] << 8 | bytes[i + 1]));
    return values;
}

TEST(ByteWriter, PadsPascalNamesToTheirMultipleAndCutsThemAt255Bytes)
{
    ByteWriter three, four, long300;
    three.putPascal("abc", 4);
    four.putPascal("abcd", 4);
    long300.putPascal(std::string(300, 'n'), 4);
    EXPECT_EQ(three.bytes, (std::vector<uint8_t>{3, 'a', 'b', 'c'}));
    EXPECT_EQ(four.size(), 8u);
    EXPECT_EQ(four.bytes[0], 4);
    EXPECT_EQ(long300.size(), 256u);
    EXPECT_EQ(long300.bytes[0], 255);
}

TEST(ByteWriter, WritesBigEndianIntegersAndEvenResources)
{
    ByteWriter out;
    out.putU16(0x0102);
    out.putU32(0x03040506);
    out.putLength(7, true);
    EXPECT_EQ(out.bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0, 0, 7}));

    ByteWriter resource;
    const std::vector<uint8_t> odd = {9, 9, 9};
    resource.putResource(1039, odd);
    EXPECT_EQ(resource.bytes, (std::vector<uint8_t>{'8', 'B', 'I', 'M', 0x04, 0x0F, 0, 0, 0, 0, 0, 3, 9, 9, 9, 0}));
}

TEST(DeltaCoding, StoresEachRowAsItsFirstSampleThenDifferences)
{
    EXPECT_EQ(deltaCoded({7, 7, 7, 7}), (std::vector<uint16_t>{7, 0, 0, 0}));
    EXPECT_EQ(deltaCoded({1000, 1001, 1002, 1003}), (std::vector<uint16_t>{1000, 1, 1, 1}));
    // 65535 -> 0 wraps to a difference of 1, which adds back to 0 modulo 65536.
    EXPECT_EQ(deltaCoded({65535, 0, 65535}), (std::vector<uint16_t>{65535, 1, 65535}));
}

TEST(ZlibSink, JoinsParallelPiecesIntoOneStreamThatAnyInflaterReads)
{
    ScratchFolder folder;
    std::mt19937 random(7);
    std::vector<uint8_t> all;
    uint64_t length = 0;
    {
        ZlibSink sink(folder / "channel.z");
        for (size_t size : {size_t(5), ZlibSink::pieceBytes * 3 + 17, size_t(0), ZlibSink::pieceBytes}) {
            std::vector<uint8_t> chunk(size);
            for (auto& byte : chunk) byte = uint8_t(random() % 7);
            sink.write(chunk.data(), chunk.size());
            all.insert(all.end(), chunk.begin(), chunk.end());
        }
        length = sink.finish();
    }
    const auto stream = layeredtest::fileBytes(folder / "channel.z");
    EXPECT_EQ(length, stream.size());
    EXPECT_EQ(inflated(stream, all.size()), all);
}

TEST(ZlibSink, AnEmptyChannelIsStillAValidStream)
{
    ScratchFolder folder;
    ZlibSink sink(folder / "empty.z");
    sink.finish();
    EXPECT_TRUE(inflated(layeredtest::fileBytes(folder / "empty.z"), 0).empty());
}

// The file open at `path` is swapped, under its descriptor, for one that is always full.
void refuseWrites(const std::filesystem::path& path)
{
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path)
            ::dup3(full, std::stoi(entry.path().filename().string()), O_CLOEXEC);
    }
    ::close(full);
}

class Staging : public ::testing::Test {
protected:
    RenderContext context;
    ScratchFolder folder;
    static uint16_t sample(int64_t x, int64_t y, int c) { return uint16_t((x * 977 + y * 131 + c * 20011) % 65536); }

    // Stages the picture and decodes each channel back into plain samples.
    std::vector<std::vector<uint16_t>> stagedAndDecoded(int64_t width, int64_t height, int bandRows,
                                                        const std::vector<int>& components)
    {
        std::vector<std::unique_ptr<ZlibSink>> sinks;
        std::vector<ZlibSink*> targets;
        for (size_t n = 0; n < components.size(); ++n) {
            // Staged files are always made afresh: an earlier run's go first.
            const auto path = folder / std::string("c").append(std::to_string(n)).append(".z");
            std::filesystem::remove(path);
            sinks.push_back(std::make_unique<ZlibSink>(path));
            targets.push_back(sinks.back().get());
        }
        std::vector<double> reports;
        StagingProgress progress{[&](double p) { reports.push_back(p); }, 0, 1};
        stageChannels(layeredtest::pictureOf(width, height, sample), components, targets,
                      Canvas{width, height, bandRows, &context}, progress);
        EXPECT_EQ(reports.size(), size_t((height + bandRows - 1) / bandRows));
        EXPECT_DOUBLE_EQ(reports.back(), 0.9);

        std::vector<std::vector<uint16_t>> planes;
        for (auto& sink : sinks) {
            sink->finish();
            const auto bytes = inflated(layeredtest::fileBytes(sink->path()), size_t(width * height * 2));
            EXPECT_EQ(bytes.size(), size_t(width * height * 2));
            std::vector<uint16_t> plane(size_t(width * height));
            for (int64_t row = 0; row < height; ++row) {
                uint16_t previous = 0;
                for (int64_t x = 0; x < width; ++x) {
                    const size_t i = size_t(row * width + x);
                    previous = uint16_t(previous + (bytes[2 * i] << 8 | bytes[2 * i + 1]));
                    plane[i] = previous;
                }
            }
            planes.push_back(plane);
        }
        return planes;
    }
};

TEST_F(Staging, EveryChannelDecodesToItsSamplesWhateverTheBandSplit)
{
    for (auto [height, bandRows] : {std::pair{37, 8}, {5, 128}, {64, 16}}) {
        const int64_t width = 29;
        const auto planes = stagedAndDecoded(width, height, bandRows, {0, 1, 2});
        for (int c = 0; c < 3; ++c)
            for (int64_t y = 0; y < height; ++y)
                for (int64_t x = 0; x < width; ++x)
                    ASSERT_EQ(planes[size_t(c)][size_t(y * width + x)], sample(x, y, c))
                        << "channel " << c << " at " << x << "," << y << " bands of " << bandRows;
    }
}

TEST_F(Staging, AFailingChannelStopsTheRunWithItsErrorAfterEveryJobHasFinished)
{
    // The second and third channels' files refuse every write, and fail in their own jobs.
    ZlibSink good(folder / "good.z"), full1(folder / "full1.z"), full2(folder / "full2.z");
    refuseWrites(folder / "full1.z");
    refuseWrites(folder / "full2.z");
    const int64_t width = 300, height = 400;
    try {
        stageChannels(layeredtest::pictureOf(width, height, sample), {0, 1, 2}, {&good, &full1, &full2},
                      Canvas{width, height, 4, &context}, StagingProgress{});
        FAIL() << "the run should fail";
    } catch (const PSDWriterError& error) {
        EXPECT_EQ(error.kind, PSDWriterError::Kind::io);
        EXPECT_NE(error.description().find("No space left on device"), std::string::npos) << error.description();
    }
    // The good channel's sink is still usable: nothing is writing to it any more.
    EXPECT_GT(good.finish(), 0u);
}

} // namespace
} // namespace oxel
