#include "library/RecordFields.h"

#include "backend/Base64.h"
#include "backend/Utf8Text.h"

#include <cmath>

namespace oxel {
namespace {

const Json* present(const Json& object, const char* key)
{
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
}

template <class T>
T required(std::optional<T> value, const char* key)
{
    if (!value) throw JsonFieldError{{key, "no value"}};
    return std::move(*value);
}

const Json& requiredList(const Json& object, const char* key, const char* expected)
{
    const Json* value = present(object, key);
    if (!value) throw JsonFieldError{{key, "no value"}};
    if (!value->is_array()) throwBadValue(key, expected);
    return *value;
}

Uuid uuidOf(const Json& value, const char* key)
{
    auto uuid = value.is_string() ? Uuid::parse(value.get_ref<const std::string&>()) : std::nullopt;
    if (!uuid) throwBadValue(key, "a UUID");
    return *uuid;
}

} // namespace

void throwBadValue(const char* key, const char* expected)
{
    throw JsonFieldError{{key, std::string("expected ") + expected}};
}

std::optional<double> optionalNumber(const Json& object, const char* key)
{
    const Json* value = present(object, key);
    if (!value) return std::nullopt;
    if (!value->is_number()) throwBadValue(key, "a number");
    double number = value->get<double>();
    if (!std::isfinite(number)) throwBadValue(key, "a finite number");
    return number;
}

double requiredNumber(const Json& object, const char* key)
{
    return required(optionalNumber(object, key), key);
}

std::optional<Date> optionalDate(const Json& object, const char* key)
{
    auto text = optionalText(object, key);
    if (!text) return std::nullopt;
    auto date = InternetDate::parse(*text);
    if (!date) throwBadValue(key, "an internet date in whole seconds");
    return date;
}

Date requiredDate(const Json& object, const char* key)
{
    return required(optionalDate(object, key), key);
}

Uuid requiredUuid(const Json& object, const char* key)
{
    const Json* value = present(object, key);
    if (!value) throw JsonFieldError{{key, "no value"}};
    return uuidOf(*value, key);
}

std::vector<Uuid> requiredUuidList(const Json& object, const char* key)
{
    const Json& list = requiredList(object, key, "a list of UUIDs");
    std::vector<Uuid> uuids;
    uuids.reserve(list.size());
    for (const Json& element : list) uuids.push_back(uuidOf(element, key));
    return uuids;
}

std::vector<int64_t> requiredIntegerList(const Json& object, const char* key)
{
    const Json& list = requiredList(object, key, "a list of whole numbers");
    std::vector<int64_t> numbers;
    numbers.reserve(list.size());
    for (const Json& element : list) {
        auto number = wholeNumber(element);
        if (!number) throwBadValue(key, "a list of whole numbers");
        numbers.push_back(*number);
    }
    return numbers;
}

std::optional<std::vector<uint8_t>> optionalBytes(const Json& object, const char* key)
{
    auto text = optionalText(object, key);
    if (!text) return std::nullopt;
    auto bytes = base64DecodedStrictly(*text);
    if (!bytes) throwBadValue(key, "padded standard Base64");
    return std::vector<uint8_t>(bytes->begin(), bytes->end());
}

RecordWriter& RecordWriter::text(const char* key, const std::string& value)
{
    json_[key] = utf8Repaired(value);
    return *this;
}

RecordWriter& RecordWriter::text(const char* key, const std::optional<std::string>& value)
{
    return value ? text(key, *value) : *this;
}

RecordWriter& RecordWriter::number(const char* key, double value)
{
    if (!std::isfinite(value)) throwBadValue(key, "a finite number");
    json_[key] = value;
    return *this;
}

RecordWriter& RecordWriter::number(const char* key, const std::optional<double>& value)
{
    return value ? number(key, *value) : *this;
}

RecordWriter& RecordWriter::integer(const char* key, int64_t value)
{
    json_[key] = value;
    return *this;
}

RecordWriter& RecordWriter::flag(const char* key, bool value)
{
    json_[key] = value;
    return *this;
}

RecordWriter& RecordWriter::flag(const char* key, const std::optional<bool>& value)
{
    return value ? flag(key, *value) : *this;
}

RecordWriter& RecordWriter::date(const char* key, Date value)
{
    json_[key] = InternetDate::format(value);
    return *this;
}

RecordWriter& RecordWriter::date(const char* key, const std::optional<Date>& value)
{
    return value ? date(key, *value) : *this;
}

RecordWriter& RecordWriter::uuid(const char* key, const Uuid& value)
{
    json_[key] = value.text();
    return *this;
}

RecordWriter& RecordWriter::uuids(const char* key, const std::vector<Uuid>& values)
{
    Json list = Json::array();
    for (const Uuid& value : values) list.push_back(value.text());
    json_[key] = std::move(list);
    return *this;
}

RecordWriter& RecordWriter::integers(const char* key, const std::vector<int64_t>& values)
{
    json_[key] = values;
    return *this;
}

RecordWriter& RecordWriter::bytes(const char* key, const std::optional<std::vector<uint8_t>>& value)
{
    if (value)
        json_[key] = base64Encoded(std::string_view(reinterpret_cast<const char*>(value->data()), value->size()));
    return *this;
}

} // namespace oxel
