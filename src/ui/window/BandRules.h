#pragma once

#include "library/BatchItem.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace oxel {

// What the batch bands show, worked out from the model's values alone, so that the rules can be
// checked without building a widget.
namespace bands {

// The examples shown in an empty batch nudge: the backend's suggestions when there are any, else
// nine of our own.
const std::vector<std::string>& builtInPlaceholders();
const std::vector<std::string>& placeholders(const std::vector<std::string>& suggested);
// The example at `index`, taken modulo the current number of examples, so that a list that grew
// or shrank since the index was counted is never read out of range; empty without examples.
std::string placeholderAt(const std::vector<std::string>& examples, std::size_t index);
// The index after one tick of the placeholder clock: it moves on only while the nudge is empty
// (a blank is text).
std::size_t nextPlaceholderIndex(std::size_t index, const std::string& nudge, std::size_t exampleCount);

// The help text beside "nudge": the batch look goes into later batches too unless each batch
// starts afresh.
std::string nudgeHelp(bool resetEachBatch);
// Whether "reset" shows: the look carries over to later batches and differs from the house's.
bool resetShown(bool resetEachBatch, bool hasStandingChanges);

// Whether the results band has a colour band: suggested grades are on and some result carries
// looks. Otherwise the colour column is an empty strip.
bool showsColourBand(bool suggestedGradeEnabled, const std::vector<std::shared_ptr<BatchItem>>& items);
// The first item whose colour-only result could be developed with light as well: its original is
// loaded. Items whose source is not loaded are passed over.
std::shared_ptr<BatchItem> lightOfferItem(const std::vector<std::shared_ptr<BatchItem>>& items);
// Whether the light offer shows: such an item exists and nothing is in flight.
bool showsLightOffer(const std::vector<std::shared_ptr<BatchItem>>& items, int inFlightCount);

} // namespace bands
} // namespace oxel
