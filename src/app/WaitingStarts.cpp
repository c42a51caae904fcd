#include "app/WaitingStarts.h"

#include "model/AppModel.h"
#include "model/IntakeFiles.h"

#include <algorithm>

namespace oxel {

WaitingStarts::WaitingStarts(AppModel& model) : model_(model)
{
    connection_ = model_.changed.connect([this](AppModel::Field) { check(); });
}

void WaitingStarts::add(const std::vector<std::string>& files, InstanceChannel::Hold hold)
{
    if (!hold) return;
    Waiting waiting{{}, model_.batchGeneration(), std::move(hold)};
    for (const std::string& file : files) waiting.files.push_back({standardized(file)});
    waiting_.push_back(std::move(waiting));
    check();
}

bool WaitingStarts::letGo(File& file, uint64_t generation) const
{
    if (model_.batchGeneration() != generation) return true;
    auto held = std::find_if(model_.items().begin(), model_.items().end(), [&](const auto& item) {
        return item->origin == Origin::handoff && standardized(item->url()) == file.path;
    });
    // A file that never joins (it could not be read, or it was in the batch already, opened
    // rather than handed over) is never sent back: nothing is left to wait for once it is read.
    if (held == model_.items().end()) return file.seen || !model_.importPending(file.path);
    if (!file.seen) {
        // The file's item has arrived; from now on its leaving or a send back lets it go.
        file.seen = true;
        file.sentBackWhenSeen = (*held)->sentBack;
        return false;
    }
    return (*held)->sentBack != file.sentBackWhenSeen;
}

void WaitingStarts::check()
{
    std::erase_if(waiting_, [this](Waiting& waiting) {
        bool all = true;
        for (File& file : waiting.files) all = letGo(file, waiting.generation) && all;
        return all;
    });
}

} // namespace oxel
