#include "model/ModelSettings.h"

#include "backend/JobId.h"
#include "export/ExportOptions.h"
#include "library/JobRunner.h"
#include "platform/Diagnostics.h"

#include <algorithm>

namespace oxel {

namespace {

std::string keyWith(std::string_view prefix, std::string_view suffix)
{
    std::string key(prefix);
    key += suffix;
    return key;
}

} // namespace

double ModelSettings::standingValue(std::string_view suffix) const
{
    auto stored = store_.doubleValue(keyWith("standing", suffix));
    if (!stored) return 1.0;
    if (!(*stored >= 0)) return 0.0; // below 0, and a value that is not a number
    return std::min(*stored, 1.0);
}

void ModelSettings::saveStanding(const std::string& nudge, double light, double colour)
{
    // A slider drag saves on every move: only what changed waits for the next write.
    SettingsStore::Values changed;
    if (store_.stringValue(standingNudgeKey) != nudge) changed.emplace_back(standingNudgeKey, nudge);
    if (store_.doubleValue(standingLightKey) != light) changed.emplace_back(standingLightKey, light);
    if (store_.doubleValue(standingColourKey) != colour) changed.emplace_back(standingColourKey, colour);
    if (!changed.empty()) store_.setValuesUnwritten(changed);
}

std::optional<std::string> ModelSettings::lastLaunchedAppVersion() const
{
    return store_.stringValue(lastLaunchedAppVersionKey);
}

std::vector<std::string> ModelSettings::seenMessageIds() const
{
    return store_.stringListValue(seenMessageIdsKey).value_or(std::vector<std::string>{});
}

void ModelSettings::addSeenMessageId(const std::string& id)
{
    appendNewest(seenMessageIdsKey, seenMessageIds(), id, mostSeenMessageIds);
}

void ModelSettings::appendNewest(std::string_view key, std::vector<std::string> list, const std::string& value,
                                 size_t most)
{
    list.push_back(value);
    if (list.size() > most) list.erase(list.begin(), list.end() - most);
    store_.set(key, list);
}

std::vector<std::string> ModelSettings::unknownAccounts() const
{
    auto accounts = store_.stringListValue(unknownAccountsKey).value_or(std::vector<std::string>{});
    // Damaged defaults may hold any number: only the newest are carried on.
    if (accounts.size() > mostUnknownAccounts) accounts.erase(accounts.begin(), accounts.end() - mostUnknownAccounts);
    return accounts;
}

bool ModelSettings::isUnknownAccount(const std::string& userId) const
{
    const auto accounts = unknownAccounts();
    return std::find(accounts.begin(), accounts.end(), userId) != accounts.end();
}

void ModelSettings::addUnknownAccount(const std::string& userId)
{
    if (!isUnknownAccount(userId)) appendNewest(unknownAccountsKey, unknownAccounts(), userId, mostUnknownAccounts);
}

void ModelSettings::removeUnknownAccount(const std::string& userId)
{
    auto accounts = unknownAccounts();
    if (std::erase(accounts, userId) > 0) store_.set(unknownAccountsKey, accounts);
}

ModelSettings::Confirmations ModelSettings::waitingConfirmations() const
{
    Confirmations waiting;
    const auto stored = store_.value(waitingConfirmationsKey);
    if (!stored || !stored->is_array()) return waiting;
    size_t refused = 0;
    for (const auto& entry : *stored) {
        if (!entry.is_array() || entry.size() < 2 || entry.size() > 3 || !entry[0].is_string() ||
            !entry[1].is_string() || (entry.size() == 3 && !entry[2].is_boolean()))
            continue;
        const auto& jobId = entry[0].get_ref<const std::string&>();
        if (isJobId(jobId))
            waiting.push_back({jobId, entry[1].get<std::string>(), entry.size() == 3 && entry[2].get<bool>()});
        else if (refused++ == 0)
            diagnose("settings", refusedJobId(jobId, waitingConfirmationsKey));
    }
    if (refused > 1) diagnose("settings", std::to_string(refused) + " job ids that are not ones were refused in all");
    constexpr size_t most = JobRunner::mostWaitingConfirmations;
    if (waiting.size() > most) {
        diagnose("settings", std::to_string(waiting.size() - most) +
                                 " of the oldest deliveries waiting to be "
                                 "confirmed were let go, past the " +
                                 std::to_string(most) + " kept");
        waiting.erase(waiting.begin(), waiting.end() - most);
    }
    return waiting;
}

void ModelSettings::setWaitingConfirmations(const Confirmations& waiting)
{
    if (waiting.empty() && !store_.contains(waitingConfirmationsKey)) return;
    auto entries = nlohmann::json::array();
    for (const auto& [jobId, account, stored] : waiting)
        entries.push_back(nlohmann::json::array({jobId, account, stored}));
    store_.setValue(waitingConfirmationsKey, std::move(entries));
}

bool ModelSettings::handoffSeen(std::string_view host) const
{
    return store_.boolValue(keyWith(handoffSeenPrefix, host)).value_or(false);
}

void ModelSettings::setHandoffSeen(std::string_view host)
{
    store_.set(keyWith(handoffSeenPrefix, host), true);
}

std::optional<Date> ModelSettings::dateValue(std::string_view key) const
{
    auto text = store_.stringValue(key);
    if (!text) return std::nullopt;
    return InternetDate::parse(*text);
}

void ModelSettings::setDate(std::string_view key, Date date)
{
    store_.set(key, InternetDate::format(date));
}

void migrateExportFormatDefaults(SettingsStore& store)
{
    if (store.contains(ModelSettings::exportFormatsKey)) return;
    auto old = store.stringValue(ModelSettings::exportFormatKey);
    if (!old || !exportFormatFromRawValue(*old)) return;
    store.set(ModelSettings::exportFormatsKey, std::string_view(*old));
}

} // namespace oxel
