#include "platform/SettingsStore.h"

#include "platform/AppFolders.h"
#include "platform/AtomicFile.h"
#include "platform/Diagnostics.h"
#include "platform/JsonFields.h"

#include <fstream>
#include <mutex>
#include <sstream>

namespace oxel {

namespace {

// A value the file can hold: JSON text must be UTF-8, and a single text that is not (a file name
// in another encoding, say) would otherwise make every later write of the whole store fail.
bool writableAsJson(std::string_view key, const nlohmann::json& value)
{
    nlohmann::json entry = nlohmann::json::object();
    entry[std::string(key)] = value;
    try {
        (void)entry.dump();
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

} // namespace

SettingsStore::SettingsStore(std::filesystem::path file) : file_(std::move(file))
{
    load();
}

SettingsStore& SettingsStore::shared()
{
    static SettingsStore store(standardFile());
    return store;
}

std::filesystem::path SettingsStore::standardFile()
{
    return configDirectory() / "settings.json";
}

void SettingsStore::load()
{
    std::ifstream in(file_, std::ios::binary);
    if (!in) return; // no file yet: no settings
    std::stringstream text;
    text << in.rdbuf();
    // Nested past what the reader takes, a file would load and then bring down every later save.
    auto parsed = parseJson(text.str());
    if (parsed && parsed->is_object()) {
        values_ = std::move(*parsed);
        return;
    }
    const std::filesystem::path aside = file_.string() + ".damaged";
    std::error_code error;
    std::filesystem::rename(file_, aside, error);
    diagnose("settings",
             file_.string() + " is not a JSON object; " +
                 (error ? "left in place, starting empty" : "moved to " + aside.string() + ", starting empty"));
}

bool SettingsStore::save()
{
    if (auto failure = writeFileAtomically(file_, values_.dump(2) + "\n", 0600)) {
        diagnose("settings", "not saved: " + *failure);
        unwritten_ = true;
        return false;
    }
    unwritten_ = false;
    return true;
}

template <typename T, typename Check>
std::optional<T> SettingsStore::typed(std::string_view key, Check isType) const
{
    std::shared_lock lock(mutex_);
    const auto found = values_.find(key);
    if (found == values_.end() || !isType(*found)) return std::nullopt;
    return found->template get<T>();
}

bool SettingsStore::contains(std::string_view key) const
{
    std::shared_lock lock(mutex_);
    return values_.contains(key);
}

std::optional<bool> SettingsStore::boolValue(std::string_view key) const
{
    return typed<bool>(key, [](const nlohmann::json& v) { return v.is_boolean(); });
}

std::optional<std::int64_t> SettingsStore::intValue(std::string_view key) const
{
    // An unsigned value beyond the signed range is not an integer this store hands out.
    return typed<std::int64_t>(key, [](const nlohmann::json& v) {
        return v.is_number_integer() && (!v.is_number_unsigned() || v.get<std::uint64_t>() <= INT64_MAX);
    });
}

std::optional<double> SettingsStore::doubleValue(std::string_view key) const
{
    return typed<double>(key, [](const nlohmann::json& v) { return v.is_number(); });
}

std::optional<std::string> SettingsStore::stringValue(std::string_view key) const
{
    return typed<std::string>(key, [](const nlohmann::json& v) { return v.is_string(); });
}

std::optional<std::vector<std::string>> SettingsStore::stringListValue(std::string_view key) const
{
    return typed<std::vector<std::string>>(key, [](const nlohmann::json& v) {
        if (!v.is_array()) return false;
        for (const auto& element : v)
            if (!element.is_string()) return false;
        return true;
    });
}

std::optional<nlohmann::json> SettingsStore::value(std::string_view key) const
{
    return typed<nlohmann::json>(key, [](const nlohmann::json&) { return true; });
}

std::vector<std::string> SettingsStore::keys() const
{
    std::shared_lock lock(mutex_);
    std::vector<std::string> result;
    for (const auto& item : values_.items()) result.push_back(item.key());
    return result;
}

bool SettingsStore::set(std::string_view key, bool value)
{
    return setValue(key, value);
}
bool SettingsStore::set(std::string_view key, std::int64_t value)
{
    return setValue(key, value);
}
bool SettingsStore::set(std::string_view key, double value)
{
    return setValue(key, value);
}
bool SettingsStore::set(std::string_view key, std::string_view value)
{
    return setValue(key, std::string(value));
}
bool SettingsStore::set(std::string_view key, const std::vector<std::string>& value)
{
    return setValue(key, value);
}

bool SettingsStore::setValue(std::string_view key, nlohmann::json value)
{
    if (!writableAsJson(key, value)) {
        diagnose("settings", "refused a value that is not UTF-8 text; the setting keeps its old value");
        return false;
    }
    std::unique_lock lock(mutex_);
    values_[std::string(key)] = std::move(value);
    return save();
}

bool SettingsStore::store(const Values& values)
{
    for (const auto& [key, value] : values)
        if (!writableAsJson(key, value)) {
            diagnose("settings", "refused a value that is not UTF-8 text; the settings keep their old values");
            return false;
        }
    for (const auto& [key, value] : values) values_[key] = value;
    return true;
}

bool SettingsStore::setValuesUnwritten(const Values& values)
{
    std::unique_lock lock(mutex_);
    if (!store(values)) return false;
    unwritten_ = true;
    return true;
}

bool SettingsStore::flush()
{
    std::unique_lock lock(mutex_);
    return !unwritten_ || save();
}

bool SettingsStore::remove(std::string_view key)
{
    std::unique_lock lock(mutex_);
    if (values_.erase(std::string(key)) == 0) return true;
    return save();
}

} // namespace oxel
