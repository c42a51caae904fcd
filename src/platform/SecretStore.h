#pragma once

#include <optional>
#include <string>

namespace oxel {

// Where one secret lives in the user's Secret Service: a generic-password item found by its
// service and account attributes.
struct SecretItem {
    std::string service;
    std::string account;
};

// The user's secret store (the Secret Service through libsecret). Every operation is synchronous.
// When no Secret Service answers, or the collection is locked, an operation fails quietly: it
// returns false or nothing and leaves one line on standard error (never the secret itself).
class SecretStore {
public:
    // Replaces the item's secret, creating the item with `label` when it does not exist.
    static bool save(const SecretItem& item, const std::string& label, const std::string& secret);
    static std::optional<std::string> load(const SecretItem& item);
    // True when an item was removed.
    static bool remove(const SecretItem& item);
};

} // namespace oxel
