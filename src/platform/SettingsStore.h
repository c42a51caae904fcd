#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// The application's user defaults: typed values under text keys, kept in one JSON object in a
// file and written through on every change (atomically, pretty-printed, keys sorted, readable
// only by the user since it holds the account token).
//
// A typed read yields a value only when the key is present and holds that type: `boolValue` of a
// key holding 1 is none, so callers can tell "absent or something else" from a stored value.
// Integers also read as doubles. Safe to use from any thread.
//
// A file that does not parse as a JSON object is moved aside (".damaged") on load, so the store
// starts empty without overwriting what was there.
class SettingsStore {
public:
    explicit SettingsStore(std::filesystem::path file);

    // The process-wide store on `standardFile()`, loaded on first use.
    static SettingsStore& shared();
    // `<configDirectory>/settings.json`.
    static std::filesystem::path standardFile();

    const std::filesystem::path& file() const { return file_; }

    bool contains(std::string_view key) const;
    std::optional<bool> boolValue(std::string_view key) const;
    std::optional<std::int64_t> intValue(std::string_view key) const;
    std::optional<double> doubleValue(std::string_view key) const;
    std::optional<std::string> stringValue(std::string_view key) const;
    std::optional<std::vector<std::string>> stringListValue(std::string_view key) const;
    std::optional<nlohmann::json> value(std::string_view key) const;
    std::vector<std::string> keys() const;

    // Each change is stored in memory first, then written; false when writing failed (the value
    // stays in memory and the next successful write carries it). A text that is not UTF-8 cannot
    // be written at all: it is refused, false, and the key keeps what it held.
    bool set(std::string_view key, bool value);
    bool set(std::string_view key, int value) { return set(key, static_cast<std::int64_t>(value)); }
    bool set(std::string_view key, std::int64_t value);
    bool set(std::string_view key, double value);
    bool set(std::string_view key, std::string_view value);
    bool set(std::string_view key, const char* value) { return set(key, std::string_view(value)); }
    bool set(std::string_view key, const std::vector<std::string>& value);
    bool setValue(std::string_view key, nlohmann::json value);
    bool remove(std::string_view key);

private:
    void load();
    bool save() const; // caller holds the lock
    template <typename T, typename Check>
    std::optional<T> typed(std::string_view key, Check isType) const;

    std::filesystem::path file_;
    mutable std::shared_mutex mutex_;
    nlohmann::json values_ = nlohmann::json::object();
};

} // namespace oxel
