#pragma once

#include "async/Signal.h"
#include "async/TaskScope.h"

#include <QImage>

#include <filesystem>
#include <map>
#include <optional>
#include <set>

namespace oxel {

// A library thumbnail fitted into an `edge` x `edge` square, or nothing when the file is missing,
// cut short or not a JPEG.
std::optional<QImage> decodeThumbnail(const std::filesystem::path& file, int edge);

// The batches sheet's thumbnails: each file decoded once, on a worker, at the cell's size in device
// pixels, and kept while the sheet lives. Work still running when the shelf goes is dropped.
class BatchThumbnails {
public:
    static constexpr int cellSide = 40;

    explicit BatchThumbnails(double devicePixelRatio);

    // The decoded picture; a null image for a file that gives no cell; nothing yet while it is
    // being decoded, which the first ask starts.
    std::optional<QImage> picture(const std::filesystem::path& file);
    size_t pending() const { return pending_.size(); }

    // A file's picture (or its absence) became known.
    Signal<std::filesystem::path> arrived;

private:
    Task<void> decode(std::filesystem::path file);

    int edge_;
    double devicePixelRatio_;
    std::map<std::filesystem::path, QImage> known_;
    std::set<std::filesystem::path> pending_;
    TaskScope tasks_; // last: goes first, before what its tasks write to
};

} // namespace oxel
