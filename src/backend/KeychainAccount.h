#pragma once

#include "platform/SecretStore.h"
#include "platform/SettingsStore.h"

#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// The user-default keys of the signed-in account (all texts).
namespace accountKeys {
inline constexpr std::string_view userId = "userId";
inline constexpr std::string_view accountToken = "accountToken";
inline constexpr std::string_view signInProvider = "signInProvider";
inline constexpr std::string_view accessState = "accessState";
inline constexpr std::string_view creditBalance = "creditBalance";
} // namespace accountKeys

// Where the account lives: the user defaults and the secret-store item holding its copy.
struct AccountStorage {
    SettingsStore& defaults;
    SecretItem item;

    // The shared settings store and the item of this application (`KeychainAccount::query()`).
    static AccountStorage standard();
};

// The signed-in account's record: the user defaults are the working copy, one secret-store item
// holds a JSON copy that survives a loss of the user defaults. No state of its own; errors of the
// secret store are not reported, so the user defaults stay the only copy until the next save.
class KeychainAccount {
public:
    struct Saved {
        std::string userId;
        std::optional<std::string> token = std::nullopt;
        std::optional<std::string> provider = std::nullopt;
        std::optional<std::string> accessState = std::nullopt;

        // Compact JSON; absent members are left out.
        std::string json() const;
        // None unless `text` is a JSON object with a text "userId"; other members are ignored,
        // and optional members of another type count as absent.
        static std::optional<Saved> fromJson(std::string_view text);
        bool operator==(const Saved&) const = default;
    };

    // The item of an application with this identifier: service "<identifier>.account" (or
    // "oxel pro.account" without one), account "account".
    static SecretItem query(const std::string& bundleIdentifier);
    static SecretItem query();

    static void save(const Saved& record, const AccountStorage& storage = AccountStorage::standard());
    static std::optional<Saved> load(const AccountStorage& storage = AccountStorage::standard());
    // Copies the account of the user defaults into the item; nothing without a non-empty "userId".
    static void saveFromDefaults(const AccountStorage& storage = AccountStorage::standard());
    // Sets "userId" and, when `token` is non-empty, "accountToken"; then saves the item. Without
    // a token the saved one stays, unless it belongs to another account.
    static void store(const std::string& userId, const std::optional<std::string>& token,
                      const AccountStorage& storage = AccountStorage::standard());
    // At launch: brings the account back from the item when the user defaults lost it, or
    // rewrites the item when it disagrees with the user defaults.
    static void restoreAtLaunch(const AccountStorage& storage = AccountStorage::standard());
    // Sign-out: removes the account's keys and the item.
    static void clear(const AccountStorage& storage = AccountStorage::standard());

    static constexpr const char* itemLabel = "oxel pro account";
};

} // namespace oxel
