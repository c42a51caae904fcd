#pragma once

#include "support/ModelFixture.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace oxel::testing {

// A model with batches kept in its library: developed through the local backend, or stored
// without developing, then left for a new batch so that they can be opened again.
class LibraryTest : public ModelTest {
protected:
    void SetUp() override { makeModel(); }

    // Develops the files and starts a new batch; the developed batch's id.
    Uuid developedBatch(const std::vector<std::filesystem::path>& files);
    // Stores the files as a batch without developing them and starts a new batch; its id.
    Uuid storedBatch(const std::vector<std::filesystem::path>& files);
    // Opens the batch and runs until its restore, and whatever it started, has finished.
    void openAndRestore(const Uuid& id);
    void runIdle();

    // The batch as the library reads it back; stops the test when it cannot be read.
    LibraryStore::LoadedBatch loadedBatch(const Uuid& batch);
    ImageRecord storedImage(const Uuid& batch, const Uuid& image);
    void storeImage(const Uuid& batch, const ImageRecord& record);
    std::shared_ptr<BatchItem> itemNamed(const std::string& filename) const;
    std::filesystem::path imageFolder(const Uuid& batch, const Uuid& image) const
    {
        return model->library().imageFolder(batch, image);
    }
    using ModelTest::imageFolder;
};

} // namespace oxel::testing
