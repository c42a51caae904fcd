#pragma once

#include "library/InternetDate.h"
#include "library/WaitingConfirmation.h"
#include "platform/SettingsStore.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// Every user-default key the model and the views use, with a typed read and write for each. A
// value stored with another type reads as absent, and so does a date that is not one.
class ModelSettings {
public:
    static constexpr std::string_view colourOnlyOnKey = "colourOnlyOn";
    static constexpr std::string_view colourOnlyEverTickedKey = "colourOnlyEverTicked";
    static constexpr std::string_view appConfigCacheKey = "appConfigCache";
    static constexpr std::string_view resetSettingsEachBatchKey = "resetSettingsEachBatch";
    static constexpr std::string_view standingNudgeKey = "standingNudge";
    static constexpr std::string_view standingLightKey = "standingLight";
    static constexpr std::string_view standingColourKey = "standingColour";
    static constexpr std::string_view lastLaunchedAppVersionKey = "lastLaunchedAppVersion";
    static constexpr std::string_view seenMessageIdsKey = "seenMessageIds";
    static constexpr std::string_view handoffSeenPrefix = "handoffSeen.";
    static constexpr std::string_view grainEnabledKey = "grainEnabled";
    static constexpr std::string_view compareLastUsedKey = "compareLastUsed";
    static constexpr std::string_view compareHintLastShownKey = "compareHintLastShown";
    static constexpr std::string_view exportFormatKey = "exportFormat";
    static constexpr std::string_view exportFormatsKey = "exportFormats";
    static constexpr std::string_view waitingConfirmationsKey = "waitingConfirmations";
    static constexpr std::string_view unknownAccountsKey = "unknownAccounts";

    static constexpr size_t mostSeenMessageIds = 50;
    static constexpr size_t mostUnknownAccounts = 20;

    explicit ModelSettings(SettingsStore& store) : store_(store) {}
    SettingsStore& store() const { return store_; }

    bool colourOnlyOn() const { return store_.boolValue(colourOnlyOnKey).value_or(false); }
    void setColourOnlyOn(bool on) { store_.set(colourOnlyOnKey, on); }
    bool colourOnlyEverTicked() const { return store_.boolValue(colourOnlyEverTickedKey).value_or(false); }
    void setColourOnlyEverTicked() { store_.set(colourOnlyEverTickedKey, true); }

    // The raw body of the last accepted remote configuration.
    std::optional<std::string> appConfigCache() const { return store_.stringValue(appConfigCacheKey); }
    void setAppConfigCache(std::string_view body) { store_.set(appConfigCacheKey, body); }

    bool resetSettingsEachBatch() const { return store_.boolValue(resetSettingsEachBatchKey).value_or(true); }
    void setResetSettingsEachBatch(bool reset) { store_.set(resetSettingsEachBatchKey, reset); }

    std::string standingNudge() const { return store_.stringValue(standingNudgeKey).value_or(""); }
    // "Light" or "Colour": the stored amount clamped to 0...1, 1.0 when absent.
    double standingValue(std::string_view suffix) const;
    // Read at once, written to the file in one write by `flush` or by the store's next write.
    void saveStanding(const std::string& nudge, double light, double colour);
    void flush() { store_.flush(); }

    std::optional<std::string> lastLaunchedAppVersion() const;
    void setLastLaunchedAppVersion(const std::string& version) { store_.set(lastLaunchedAppVersionKey, version); }
    std::vector<std::string> seenMessageIds() const;
    // Appends the id and keeps the newest `mostSeenMessageIds`.
    void addSeenMessageId(const std::string& id);

    // `host` is a hand-off host's raw value.
    bool handoffSeen(std::string_view host) const;
    void setHandoffSeen(std::string_view host);

    // Grain is on until the photographer turns it off.
    bool grainEnabled() const { return store_.boolValue(grainEnabledKey).value_or(true); }
    void setGrainEnabled(bool on) { store_.set(grainEnabledKey, on); }
    std::optional<Date> compareLastUsed() const { return dateValue(compareLastUsedKey); }
    void setCompareLastUsed(Date date) { setDate(compareLastUsedKey, date); }
    std::optional<Date> compareHintLastShown() const { return dateValue(compareHintLastShownKey); }
    void setCompareHintLastShown(Date date) { setDate(compareHintLastShownKey, date); }

    std::optional<std::string> exportFormats() const { return store_.stringValue(exportFormatsKey); }

    // Delivered results not confirmed yet: job id, account, and whether the result is stored. An
    // entry of a version that did not say is taken as not stored: it was kept before its store
    // began. Entries of another form are left out, and so, with a line, are those whose job id is
    // not one and all but the newest the job runner keeps.
    using Confirmations = std::vector<WaitingConfirmation>;
    Confirmations waitingConfirmations() const;
    void setWaitingConfirmations(const Confirmations& waiting);

    // User ids the backend said it no longer knows, newest last: the jobs accepted for them will
    // never be collected. Keeps the newest `mostUnknownAccounts`.
    std::vector<std::string> unknownAccounts() const;
    bool isUnknownAccount(const std::string& userId) const;
    void addUnknownAccount(const std::string& userId);
    // The account signed in, so the backend knows it now.
    void removeUnknownAccount(const std::string& userId);

private:
    // Appends `value` to the list under `key`, keeping its newest `most`.
    void appendNewest(std::string_view key, std::vector<std::string> list, const std::string& value, size_t most);
    std::optional<Date> dateValue(std::string_view key) const;
    void setDate(std::string_view key, Date date);

    SettingsStore& store_;
};

// Moves the old single export-format preference to its new key when only the old one holds a known
// format; never removes the old key.
void migrateExportFormatDefaults(SettingsStore& store);

} // namespace oxel
