#pragma once

#include "library/InternetDate.h"
#include "platform/JsonFields.h"
#include "platform/Uuid.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// Field readers and a writer for the library's records, on top of the strict wire readers: a
// missing required key, a value of the wrong type or form, or an unknown enumeration text throws
// a `JsonFieldError` naming the key; a missing or null optional key gives nothing.

double requiredNumber(const Json& object, const char* key);
std::optional<double> optionalNumber(const Json& object, const char* key);
Date requiredDate(const Json& object, const char* key);
std::optional<Date> optionalDate(const Json& object, const char* key);
Uuid requiredUuid(const Json& object, const char* key);
std::vector<Uuid> requiredUuidList(const Json& object, const char* key);
std::vector<int64_t> requiredIntegerList(const Json& object, const char* key);
std::optional<std::vector<uint8_t>> optionalBytes(const Json& object, const char* key);

[[noreturn]] void throwBadValue(const char* key, const char* expected);

// An enumeration whose cases are numbered from 0 in the order of their texts.
template <class Enum, size_t Count>
struct CaseTexts {
    std::array<std::string_view, Count> texts;

    std::string_view operator[](Enum value) const { return texts.at(size_t(value)); }
};

template <class Enum, size_t Count>
std::optional<Enum> optionalCase(const Json& object, const char* key, const CaseTexts<Enum, Count>& texts)
{
    auto text = optionalText(object, key);
    if (!text) return std::nullopt;
    for (size_t i = 0; i < Count; ++i)
        if (texts.texts[i] == *text) return Enum(i);
    throwBadValue(key, "one of its known texts");
}

template <class Enum, size_t Count>
Enum requiredCase(const Json& object, const char* key, const CaseTexts<Enum, Count>& texts)
{
    if (auto value = optionalCase(object, key, texts)) return *value;
    throw JsonFieldError{{key, "no value"}};
}

// Reads the object under `key` with `read`; a failure inside it names the whole path
// ("original.stamp.size").
template <class Read>
auto optionalNested(const Json& object, const char* key, Read read) -> std::optional<decltype(read(object))>
{
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) return std::nullopt;
    try {
        return read(requireObject(*found, ""));
    } catch (JsonFieldError& failure) {
        failure.error.key = failure.error.key.empty() ? key : std::string(key) + "." + failure.error.key;
        throw;
    }
}

template <class Read>
auto requiredNested(const Json& object, const char* key, Read read) -> decltype(read(object))
{
    if (auto value = optionalNested(object, key, read)) return std::move(*value);
    throw JsonFieldError{{key, "no value"}};
}

// Reads every element of the list under `key` with `read`, naming a failing element by its index.
template <class Read>
auto requiredNestedList(const Json& object, const char* key, Read read) -> std::vector<decltype(read(object))>
{
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) throw JsonFieldError{{key, "no value"}};
    if (!found->is_array()) throwBadValue(key, "a list");
    std::vector<decltype(read(object))> values;
    values.reserve(found->size());
    for (const Json& element : *found) {
        const std::string name = std::string(key) + "[" + std::to_string(values.size()) + "]";
        try {
            values.push_back(read(requireObject(element, name)));
        } catch (JsonFieldError& failure) {
            if (failure.error.key != name) failure.error.key = name + "." + failure.error.key;
            throw;
        }
    }
    return values;
}

// Builds a record's JSON object. Absent optionals are left out. Text that is not UTF-8 (a file
// name from another system) is written readable, every invalid byte replaced by U+FFFD: the exact
// bytes of a path are the bookmark's to keep. A number that is not finite throws a
// `JsonFieldError` naming its key, so that nothing is written that would not read back.
class RecordWriter {
public:
    RecordWriter& text(const char* key, const std::string& value);
    RecordWriter& text(const char* key, const std::optional<std::string>& value);
    RecordWriter& number(const char* key, double value);
    RecordWriter& number(const char* key, const std::optional<double>& value);
    RecordWriter& integer(const char* key, int64_t value);
    RecordWriter& flag(const char* key, bool value);
    RecordWriter& flag(const char* key, const std::optional<bool>& value);
    RecordWriter& date(const char* key, Date value);
    RecordWriter& date(const char* key, const std::optional<Date>& value);
    RecordWriter& uuid(const char* key, const Uuid& value);
    RecordWriter& uuids(const char* key, const std::vector<Uuid>& values);
    RecordWriter& integers(const char* key, const std::vector<int64_t>& values);
    RecordWriter& bytes(const char* key, const std::optional<std::vector<uint8_t>>& value);

    // A nested record, written by its own `json()`; a failure inside names the whole path.
    template <class Record>
    RecordWriter& nested(const char* key, const Record& record)
    {
        json_[key] = naming(key, [&] { return record.json(); });
        return *this;
    }

    template <class Record>
    RecordWriter& nested(const char* key, const std::optional<Record>& record)
    {
        return record ? nested(key, *record) : *this;
    }

    template <class Record>
    RecordWriter& list(const char* key, const std::vector<Record>& records)
    {
        Json list = Json::array();
        for (const Record& record : records) {
            const std::string name = std::string(key) + "[" + std::to_string(list.size()) + "]";
            list.push_back(naming(name, [&] { return record.json(); }));
        }
        json_[key] = std::move(list);
        return *this;
    }

    template <class Enum, size_t Count>
    RecordWriter& enumeration(const char* key, Enum value, const CaseTexts<Enum, Count>& texts)
    {
        return text(key, std::string(texts[value]));
    }

    template <class Enum, size_t Count>
    RecordWriter& enumeration(const char* key, const std::optional<Enum>& value, const CaseTexts<Enum, Count>& texts)
    {
        return value ? enumeration(key, *value, texts) : *this;
    }

    // The object written; the writer is done with it.
    Json json() { return std::move(json_); }

private:
    template <class Write>
    static Json naming(const std::string& path, Write write)
    {
        try {
            return write();
        } catch (JsonFieldError& failure) {
            failure.error.key = path + "." + failure.error.key;
            throw;
        }
    }

    Json json_ = Json::object();
};

} // namespace oxel
