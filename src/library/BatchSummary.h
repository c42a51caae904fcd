#pragma once

#include "library/BatchRecord.h"

#include <filesystem>
#include <vector>

namespace oxel {

// One row of the batch list, never stored: the record, its folder and up to four result pictures
// of its images. Identified by `record.id`.
struct BatchSummary {
    BatchRecord record;
    std::filesystem::path folder;
    std::vector<std::filesystem::path> thumbs;
    // The folder is not named after the batch's id: a copy of a batch's folder, whose id is the
    // batch's in the folder of that name.
    bool copy = false;

    const Uuid& id() const { return record.id; }
    bool operator==(const BatchSummary&) const = default;
};

} // namespace oxel
