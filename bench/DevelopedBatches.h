#pragma once

#include "library/LibraryStore.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace oxel::bench {

// An image record of the size a developed hand-off original has: bookmark, metadata, exports.
inline ImageRecord developedImage(int index, int batch)
{
    using namespace std::chrono;
    ImageRecord record;
    record.id = Uuid::random();
    record.original.path = "/media/ana/CARD 01/DCIM/100/IMG_" + std::to_string(1000 + index) + ".JPG";
    record.original.bookmark = std::vector<uint8_t>(220, uint8_t(index));
    record.original.volume = "CARD 01";
    record.original.stamp = FileStamp{24'000'000 + index, system_clock::now()};
    record.original.pixels = {6000, 4000};
    record.original.captured = system_clock::now() - hours(5);
    record.original.latitude = 48.85;
    record.original.longitude = 2.35;
    record.original.handoff = true;
    record.original.sender = "lightroom";
    record.original.metadata = std::vector<uint8_t>(3000, uint8_t(index * 3));
    record.state = ImageRecord::State::done;
    record.jobId = "job_" + std::to_string(batch) + "_" + std::to_string(index);
    record.renderFile = "render.jpg";
    record.exports = {{"/home/ana/Out/IMG_" + std::to_string(index) + ".psd", "psd", system_clock::now()}};
    return record;
}

struct Batch {
    BatchRecord record;
    std::vector<ImageRecord> images;
};

inline Batch batchOf(int imageCount, int index)
{
    using namespace std::chrono;
    Batch batch;
    batch.record.id = Uuid::random();
    batch.record.name = "harbour " + std::to_string(index);
    batch.record.createdAt = system_clock::now();
    batch.record.updatedAt = system_clock::now() - seconds(index);
    batch.record.nudge = "soft light";
    for (int i = 0; i < imageCount; ++i) {
        batch.images.push_back(developedImage(i, index));
        batch.record.images.push_back(batch.images.back().id);
    }
    return batch;
}

inline void save(LibraryStore& store, const Batch& batch)
{
    store.saveBatch(batch.record);
    for (const auto& image : batch.images) store.saveImage(image, batch.record.id);
}

// A library of 100 batches of 500 developed pictures, as a start finds it after a large batch that
// could not be stored, written straight to the files, as a library written over months is there
// already; the job ids of as many deliveries as the runner keeps not known to be stored: half of
// them stored, five to a batch with their renders, half held by no record.
inline std::set<std::string> libraryAfterUnstoredBatch(LibraryStore& store)
{
    const auto put = [](const std::filesystem::path& file, std::string_view bytes) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    };
    const auto render =
        LibraryStore::jpegData(*Bitmap::allocate(64, 64, PixelFormat::RGBX8, ColourSpace::sRGB()), 64, 0.8);
    std::set<std::string> unsure;
    for (int b = 0; b < 100; ++b) {
        const Batch batch = batchOf(500, b);
        put(store.batchFolder(batch.record.id) / "batch.json", *batch.record.encode());
        for (const auto& image : batch.images)
            put(store.imageFolder(batch.record.id, image.id) / "image.json", *image.encode());
        for (int i = 0; i < 5; ++i) {
            const auto& stored = batch.images[size_t(i) * 100];
            put(store.imageFolder(batch.record.id, stored.id) / "render.jpg",
                std::string_view(reinterpret_cast<const char*>(render->data()), render->size()));
            unsure.insert(*stored.jobId);
            unsure.insert("job_gone_" + std::to_string(b) + "_" + std::to_string(i));
        }
    }
    return unsure;
}

} // namespace oxel::bench
