#pragma once

#include <string>

namespace oxel {

// A delivered result whose confirmation the backend has not taken yet: its job, the account that
// submitted it, and whether its result is stored. A result that left the program (exported, sent
// back, reported) counts as stored: it is paid for all the same. One not stored is confirmed only
// once it is.
struct WaitingConfirmation {
    std::string jobId;
    std::string account;
    bool stored = false;

    bool operator==(const WaitingConfirmation&) const = default;
};

} // namespace oxel
