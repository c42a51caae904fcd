#pragma once

#include "backend/JobNarration.h"

#include <optional>
#include <string>
#include <variant>

namespace oxel {

// The cases of an item's progress through developing.
namespace phase {

struct Ready {
    bool operator==(const Ready&) const = default;
};
struct Queued {
    bool operator==(const Queued&) const = default;
};
struct Uploading {
    bool operator==(const Uploading&) const = default;
};
// The job runs: the backend's status word and what it says it sees.
struct Processing {
    std::string status;
    std::optional<JobNarration> narration;
    bool operator==(const Processing&) const = default;
};
struct Finishing {
    bool operator==(const Finishing&) const = default;
};
struct Done {
    bool operator==(const Done&) const = default;
};
struct Exported {
    bool operator==(const Exported&) const = default;
};
struct Restoring {
    bool operator==(const Restoring&) const = default;
};
// Developing failed: the failure code, the text shown, whether it may be tried again and
// whether a shot was used.
struct Failed {
    std::optional<std::string> code;
    std::string message;
    bool retryable = false;
    bool shotSpent = false;
    bool operator==(const Failed&) const = default;
};

} // namespace phase

// An item's phase. Two phases are equal when they are the same case with equal payloads.
struct ItemPhase : std::variant<phase::Ready, phase::Queued, phase::Uploading, phase::Processing, phase::Finishing,
                                phase::Done, phase::Exported, phase::Restoring, phase::Failed> {
    using variant::variant;

    template <class Case>
    bool is() const
    {
        return std::holds_alternative<Case>(*this);
    }

    // Processing, queued, uploading or finishing.
    bool isInFlight() const
    {
        return is<phase::Processing>() || is<phase::Queued>() || is<phase::Uploading>() || is<phase::Finishing>();
    }

    bool operator==(const ItemPhase& other) const = default;
};

} // namespace oxel
