#include "LibraryFixture.h"

#include <stdexcept>

namespace oxel::testing {

namespace fs = std::filesystem;

Uuid LibraryTest::developedBatch(const std::vector<fs::path>& files)
{
    drop(files);
    model->process();
    runUntilOrStop(
        [&] {
            for (const auto& item : model->items())
                if (!item->phase().is<phase::Done>()) return false;
            return model->batch().has_value();
        },
        "not every picture was developed");
    runIdle();
    const Uuid id = model->batch()->id;
    model->newBatch();
    runIdle();
    return id;
}

Uuid LibraryTest::storedBatch(const std::vector<fs::path>& files)
{
    drop(files);
    model->ensureBatchStored();
    const Uuid id = model->batch()->id;
    model->newBatch();
    runIdle();
    return id;
}

void LibraryTest::runIdle()
{
    EXPECT_TRUE(runUntil([&] {
        return model->tasks().runningCount() == 0 && model->runner().inFlightCount() == 0 &&
               model->runner().queuedCount() == 0 && !model->runner().storing();
    }));
    // Confirmations start on the next turn and go out on their own thread with nobody waiting for
    // them; the thumbnails of the pictures shown go a moment later.
    loop.advance(BatchSaver::thumbnailWriteDelay);
    loop.waitForPendingWork();
    model->library().drain();
}

void LibraryTest::openAndRestore(const Uuid& id)
{
    model->openBatch(id);
    runIdle();
}

LibraryStore::LoadedBatch LibraryTest::loadedBatch(const Uuid& batch)
{
    auto loaded = model->library().load(batch);
    // Nothing to read on from (a full temporary folder): the test stops here.
    if (!loaded) throw std::runtime_error("the batch could not be read back");
    return std::move(*loaded);
}

ImageRecord LibraryTest::storedImage(const Uuid& batch, const Uuid& image)
{
    const auto loaded = loadedBatch(batch);
    for (const auto& record : loaded.images)
        if (record.id == image) return record;
    ADD_FAILURE() << "no such image";
    return {};
}

void LibraryTest::storeImage(const Uuid& batch, const ImageRecord& record)
{
    model->library().saveImage(record, batch);
    model->library().drain();
}

std::shared_ptr<BatchItem> LibraryTest::itemNamed(const std::string& filename) const
{
    for (const auto& item : model->items())
        if (fs::path(item->original ? item->original->path : item->url().string()).filename() == filename) return item;
    return nullptr;
}

} // namespace oxel::testing
