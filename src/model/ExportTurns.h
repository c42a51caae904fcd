#pragma once

#include "async/Task.h"
#include "export/ExportOptions.h"
#include "library/BatchItem.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace oxel {

class AsyncGate;

// The model's exports, taken in turns: at most `turns` pictures are written at once, and an
// export waits for its turn in the order it was started. Starting one marks its picture waiting,
// with no progress yet, and counts it pending until it has ended, however it ended (the quit
// guard reads `pending`).
//
// An export sheet's run for one picture is a plan: one file per format, each under a name neither
// on disk nor planned earlier in the same run. Its files are written one after another in one
// turn, the first alone marking the result downloaded; their failures are joined on the picture.
// The owner runs the turns' tasks in its own scope and writes each file. Main thread only.
class ExportTurns {
public:
    // One file an export sheet asked for: where it goes and how it is written.
    struct PlannedFile {
        std::filesystem::path url;
        ExportOptions options;
    };
    using Plan = std::vector<PlannedFile>;
    // Writes one file of one picture and records the outcome on it; the failure's text.
    using ExportFile = std::function<Task<std::optional<std::string>>(
        std::shared_ptr<BatchItem> item, std::filesystem::path url, ExportOptions options, bool markDownloaded)>;
    using Work = std::function<Task<void>()>;

    static constexpr int turns = 3;

    ExportTurns();
    ~ExportTurns();
    ExportTurns(const ExportTurns&) = delete;
    ExportTurns& operator=(const ExportTurns&) = delete;

    std::function<void(Task<void>)> spawn; // runs a task in the owner's scope
    ExportFile exportFile;

    // The picture's files for an export of every entry of `options` into `folder` (one entry:
    // the folder itself; several: a sub-folder per format, made here), named after its file with
    // `tag`; each name taken goes into `taken`.
    static Plan plan(const BatchItem& item, const std::string& tag, const std::vector<ExportOptions>& options,
                     const std::filesystem::path& folder, std::set<std::filesystem::path>& taken);

    void start(const std::shared_ptr<BatchItem>& item, Plan plan);
    // Runs `work` in the picture's turn; `afterwards` once it no longer counts as pending.
    void start(const std::shared_ptr<BatchItem>& item, Work work, std::function<void()> afterwards = {});

    int pending() const { return pending_; }
    // Turns held now.
    int held() const;

private:
    Task<void> inTurn(Work work, std::function<void()> afterwards);
    Task<void> writePlan(std::shared_ptr<BatchItem> item, Plan plan);
    // Made on first use, behind a pointer: the interface's meta-object compiler cannot read the
    // gate's header.
    AsyncGate& gate();

    std::shared_ptr<AsyncGate> gate_;
    int pending_ = 0;
};

} // namespace oxel
