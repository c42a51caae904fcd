#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <utility>
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

    using Values = std::vector<std::pair<std::string, nlohmann::json>>;
    // Several values in one change, kept in memory for values that change many times a second:
    // read at once, and written in one write of the file by `flush` or by the store's next write.
    // When one of them cannot be written, none is stored: false, and every key keeps what it held.
    bool setValuesUnwritten(const Values& values);
    // Writes what is held in memory and not yet written; true when nothing is left unwritten.
    bool flush();

private:
    void load();
    bool save();                      // caller holds the lock
    bool store(const Values& values); // caller holds the lock
    template <typename T, typename Check>
    std::optional<T> typed(std::string_view key, Check isType) const;

    std::filesystem::path file_;
    mutable std::shared_mutex mutex_;
    nlohmann::json values_ = nlohmann::json::object();
    bool unwritten_ = false;
};

} // namespace oxel
