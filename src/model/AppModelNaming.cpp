#include "model/AppModel.h"

#include "async/Offload.h"
#include "backend/AnalysisResponse.h"
#include "ondevice/BatchNamer.h"

namespace oxel {

void AppModel::nameBatchIfReady()
{
    if (!batch_ || naming_ || inFlightCount() != 0) return;
    const auto source = batch_->nameSource;
    const bool replaceable =
        source == BatchRecord::NameSource::date ||
        (source == BatchRecord::NameSource::rule && services_.languageModel.availability().isAvailable());
    if (!replaceable) return;
    std::vector<std::string> descriptions;
    std::vector<std::string> intents;
    std::vector<BatchNamer::Coordinate> coordinates;
    bool anyResult = false;
    for (const auto& item : items_) {
        if (const auto& result = item->result()) {
            anyResult = true;
            if (result->analysis) {
                descriptions.push_back(result->analysis->descriptions.original);
                intents.push_back(result->analysis->perceived_intent);
            }
        }
        if (item->original && item->original->latitude && item->original->longitude)
            coordinates.push_back({*item->original->latitude, *item->original->longitude});
    }
    if (!anyResult) return;
    naming_ = true;
    tasks_->spawn(
        nameBatch(std::move(descriptions), std::move(intents), std::move(coordinates), batch_->id, batchGeneration_));
}

Task<void> AppModel::nameBatch(std::vector<std::string> descriptions, std::vector<std::string> intents,
                               std::vector<BatchNamer::Coordinate> coordinates, Uuid batchId, uint64_t generation)
{
    auto place = co_await BatchNamer::placeName(std::move(coordinates));
    std::optional<std::string> name =
        co_await BatchNamer::askModel(descriptions, intents, place, &services_.languageModel, tasks_->token());
    auto source = BatchRecord::NameSource::model;
    if (!name) {
        name = BatchNamer::heuristicName(descriptions, intents, place);
        source = BatchRecord::NameSource::rule;
        // The rules join nouns from the backend's own texts, which may be of any length.
        if (name) name = BatchRecord::fittedName(*name);
        if (name && name->empty()) name.reset();
    }
    naming_ = false;
    // Only into the batch it was started for, and never over a name from the model or the photographer.
    if (generation != batchGeneration_ || !batch_ || batch_->id != batchId) co_return;
    if (batch_->nameSource != BatchRecord::NameSource::date && batch_->nameSource != BatchRecord::NameSource::rule)
        co_return;
    auto record = *batch_;
    record.place = place;
    if (name) {
        record.name = *name;
        record.nameSource = source;
    }
    setBatch(record);
    saving_.saveBatch(record);
    tasks_->spawn(refreshRecent());
}

Task<void> AppModel::refreshRecent()
{
    auto list = [&library = services_.library] { return library.list(); };
    auto batches = co_await offload(services_.pool, WorkPriority::utility, list);
    publish(recent_, std::move(batches), Field::recent);
}

} // namespace oxel
