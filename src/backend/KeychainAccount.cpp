#include "backend/KeychainAccount.h"

#include "platform/AppFolders.h"
#include "platform/Diagnostics.h"
#include "platform/JsonFields.h"

#include <nlohmann/json.hpp>

namespace oxel {

namespace {

std::optional<std::string> textMember(const nlohmann::json& object, const char* name)
{
    const auto found = object.find(name);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

} // namespace

AccountStorage AccountStorage::standard()
{
    return {SettingsStore::shared(), KeychainAccount::query()};
}

std::string KeychainAccount::Saved::json() const
{
    nlohmann::json object{{"userId", userId}};
    if (token) object["token"] = *token;
    if (provider) object["provider"] = *provider;
    if (accessState) object["accessState"] = *accessState;
    return object.dump();
}

std::optional<KeychainAccount::Saved> KeychainAccount::Saved::fromJson(std::string_view text)
{
    const auto parsed = parseJson(text);
    if (!parsed || !parsed->is_object()) return std::nullopt;
    const nlohmann::json& object = *parsed;
    auto userId = textMember(object, "userId");
    if (!userId) return std::nullopt;
    return Saved{*userId, textMember(object, "token"), textMember(object, "provider"),
                 textMember(object, "accessState")};
}

SecretItem KeychainAccount::query(const std::string& bundleIdentifier)
{
    return {bundleIdentifier.empty() ? "oxel pro.account" : bundleIdentifier + ".account", "account"};
}

SecretItem KeychainAccount::query()
{
    return query(bundleIdentifier());
}

void KeychainAccount::save(const Saved& record, const AccountStorage& storage)
{
    std::string json;
    try {
        json = record.json();
    } catch (const nlohmann::json::exception&) {
        return; // a text that is not UTF-8 cannot be encoded: the item stays as it was
    }
    SecretStore::save(storage.item, itemLabel, json);
}

std::optional<KeychainAccount::Saved> KeychainAccount::load(const AccountStorage& storage)
{
    const auto data = SecretStore::load(storage.item);
    if (!data) return std::nullopt;
    return Saved::fromJson(*data);
}

void KeychainAccount::saveFromDefaults(const AccountStorage& storage)
{
    const SettingsStore& defaults = storage.defaults;
    const auto userId = defaults.stringValue(accountKeys::userId);
    if (!userId || userId->empty()) return;
    save({*userId, defaults.stringValue(accountKeys::accountToken), defaults.stringValue(accountKeys::signInProvider),
          defaults.stringValue(accountKeys::accessState)},
         storage);
}

void KeychainAccount::store(const std::string& userId, const std::optional<std::string>& token,
                            const AccountStorage& storage)
{
    const auto previousUser = storage.defaults.stringValue(accountKeys::userId);
    storage.defaults.set(accountKeys::userId, userId);
    if (token && !token->empty())
        storage.defaults.set(accountKeys::accountToken, *token);
    else if (previousUser && !previousUser->empty() && *previousUser != userId)
        storage.defaults.remove(accountKeys::accountToken); // another account's token is none of this one's
    saveFromDefaults(storage);
}

void KeychainAccount::restoreAtLaunch(const AccountStorage& storage)
{
    SettingsStore& defaults = storage.defaults;
    const auto record = load(storage);
    const auto userId = defaults.stringValue(accountKeys::userId);
    if (!userId) {
        if (!record) return;
        defaults.set(accountKeys::userId, record->userId);
        if (record->token) defaults.set(accountKeys::accountToken, *record->token);
        if (record->provider) defaults.set(accountKeys::signInProvider, *record->provider);
        if (record->accessState) defaults.set(accountKeys::accessState, *record->accessState);
        diagnoseAs("oxel pro", "the account came back from the Keychain");
        return;
    }
    // Provider or access state alone never rewrite the item; the user and the token do.
    if (!record || record->userId != *userId || record->token != defaults.stringValue(accountKeys::accountToken))
        saveFromDefaults(storage);
}

void KeychainAccount::clear(const AccountStorage& storage)
{
    for (const auto key : {accountKeys::userId, accountKeys::accountToken, accountKeys::accessState,
                           accountKeys::creditBalance, accountKeys::signInProvider})
        storage.defaults.remove(key);
    SecretStore::remove(storage.item);
}

} // namespace oxel
