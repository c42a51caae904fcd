// The library's records: a batch of 200 images to file bytes and back, and the records of 200
// items as a save makes them.
#include "library/BatchItem.h"
#include "library/BatchRecord.h"
#include "library/ImageRecord.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

namespace {

using namespace oxel;
using namespace std::chrono;

constexpr int imageCount = 200;

// Bytes the size of a file bookmark or of a hand-off original's Exif and IPTC, not text.
std::vector<uint8_t> noise(size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& byte : bytes) byte = uint8_t(random());
    return bytes;
}

// A hand-off original on a card, with its place and metadata, exported twice.
OriginalRef handedOverOriginal(int index)
{
    const Date captured = system_clock::now() - hours(24 * 30) + seconds(index * 7);
    OriginalRef original;
    original.path = "/media/ana/CARD 01/DCIM/100CANON/IMG_" + std::to_string(4000 + index) + ".CR3.tif";
    original.bookmark = noise(320, index);
    original.volume = "CARD 01";
    original.stamp = FileStamp{48'000'000 + index, captured + minutes(5)};
    original.pixels = {6000, 4000};
    original.captured = captured;
    original.latitude = 48.8566 + index * 1e-4;
    original.longitude = 2.3522 - index * 1e-4;
    original.handoff = true;
    original.sender = "lightroom";
    original.metadata = noise(3000, 1000 + index);
    return original;
}

std::vector<ExportRecord> twoExports(int index)
{
    const std::string name = "/home/ana/Pictures/Exports/IMG_" + std::to_string(4000 + index);
    return {{name + ".psd", "psd", system_clock::now()}, {name + ".jpg", "jpeg", system_clock::now()}};
}

ImageRecord fullImageRecord(int index)
{
    ImageRecord record;
    record.id = Uuid::random();
    record.original = handedOverOriginal(index);
    record.state = ImageRecord::State::done;
    record.jobId = "job_" + std::to_string(900000 + index);
    record.addition = " and a little warmer";
    record.unlinkedNudge = "golden hour by the river, soft shadows";
    record.strengthOffset = 0.05 * (index % 5);
    record.strengthTouched = true;
    record.colourOffset = -0.1;
    record.colourTouched = true;
    record.useAlternative = index % 2 == 0;
    record.renderFile = "render.jpg";
    record.exports = twoExports(index);
    record.sentBack = FileStamp{51'000'000 + index, system_clock::now()};
    record.mode = ImageRecord::Mode::colour;
    record.grainBaked = true;
    return record;
}

void BM_RecordsRoundTrip200(benchmark::State& state)
{
    std::vector<ImageRecord> images;
    BatchRecord batch;
    batch.id = Uuid::random();
    batch.name = "paris in the rain";
    batch.createdAt = batch.updatedAt = system_clock::now();
    batch.captured = CaptureSpan{system_clock::now() - hours(2), system_clock::now()};
    batch.place = "Paris";
    batch.account = "4242";
    batch.nudge = "soft light";
    for (int i = 0; i < imageCount; ++i) {
        images.push_back(fullImageRecord(i));
        batch.images.push_back(images.back().id);
    }
    for (auto _ : state) {
        std::vector<std::string> files{*batch.encode()};
        for (const auto& image : images) files.push_back(*image.encode());
        size_t read = BatchRecord::decode(files[0]) ? 1 : 0;
        for (size_t i = 1; i < files.size(); ++i) read += ImageRecord::decode(files[i]) ? 1 : 0;
        if (read != files.size()) state.SkipWithError("a record did not read back");
        benchmark::DoNotOptimize(read);
    }
}
BENCHMARK(BM_RecordsRoundTrip200)->Unit(benchmark::kMillisecond);

void BM_RecordOf200Items(benchmark::State& state)
{
    std::vector<std::shared_ptr<BatchItem>> items;
    for (int i = 0; i < imageCount; ++i) {
        const ImageRecord stored = fullImageRecord(i);
        auto item = BatchItem::make(stored.id, stored.original.path, Origin::handoff, std::nullopt, std::nullopt);
        item->apply(stored);
        items.push_back(item);
    }
    for (auto _ : state) {
        std::vector<ImageRecord> records;
        records.reserve(items.size());
        for (const auto& item : items) records.push_back(*item->record());
        benchmark::DoNotOptimize(records.data());
    }
}
BENCHMARK(BM_RecordOf200Items)->Unit(benchmark::kMillisecond);

} // namespace
