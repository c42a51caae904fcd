#pragma once

#include "library/BatchRecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// The texts of the main window's bars and empty state, worked out from what the model publishes.
namespace maintexts {

// What the batch line shows when it has nothing to say.
inline constexpr std::string_view tagline = "relight, at full resolution, in layers";

// "1 image", "0 images", "12 images": the count, then the noun with an "s" unless it is exactly 1.
std::string counted(int64_t count, std::string_view noun);

// The open batch's name and dates, else where its photographs came from; then the item count and
// how many are back. Empty when there is nothing of either.
std::string batchLine(const std::optional<BatchRecord>& batch, const std::optional<std::string>& source, int items,
                      int withResult);

// "12 shots in the roll", or "…" while no balance has arrived.
std::string shotsLabel(const std::optional<int64_t>& balance);

// The bottom bar's summary of the batch.
struct StatusFacts {
    std::optional<std::string> statusLine{};
    bool resultsScreen = false;
    int items = 0;
    int withResult = 0;
    int toProcess = 0;
    int inFlight = 0;
    int failed = 0;
    // Of `toProcess`, the pictures that have not failed: never sent, or sent back undeveloped.
    int unsent = 0;
    bool colourOnlyInForce = false;
    int colourOnlyCandidates = 0;
    std::optional<int64_t> balance{};
    bool unreachable = false;
};
// Says so first while the backend cannot be reached.
std::string statusText(const StatusFacts& facts);
inline constexpr std::string_view unreachableText = "can't reach oxel · still trying";

// "· 3 mar 2026 · 12 images": the resume button's detail after the batch's name.
std::string resumeDetail(const BatchRecord& record);

} // namespace maintexts
} // namespace oxel
