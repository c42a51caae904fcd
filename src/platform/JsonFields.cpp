#include "platform/JsonFields.h"

#include <cmath>

namespace oxel {
namespace {

[[noreturn]] void missing(const char* key)
{
    throw JsonFieldError{{key, "no value"}};
}

[[noreturn]] void mistyped(const char* key, const char* expected)
{
    throw JsonFieldError{{key, std::string("expected ") + expected}};
}

const Json* present(const Json& object, const char* key)
{
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
}

// Deeper than any record or answer of the backend nests. Copying, comparing or writing out a
// value recurses once per level, so hostile text nested a million levels deep would exhaust the
// stack of whoever holds it later.
constexpr size_t deepestNesting = 512;

// The library's own reader, which stops at the first value past the limits: too deep, or one too
// many. A value costs tens of bytes once read, so counting them while parsing keeps two bytes of
// "{}" from becoming a hundred in memory.
template <class Value>
class BoundedReader : public nlohmann::detail::json_sax_dom_parser<Value> {
    using Base = nlohmann::detail::json_sax_dom_parser<Value>;

public:
    BoundedReader(Value& result, size_t maxValues) : Base(result, false), valuesLeft_(maxValues) {}

    bool null() { return counted() && Base::null(); }
    bool boolean(bool value) { return counted() && Base::boolean(value); }
    bool number_integer(typename Base::number_integer_t value) { return counted() && Base::number_integer(value); }
    bool number_unsigned(typename Base::number_unsigned_t value) { return counted() && Base::number_unsigned(value); }
    bool number_float(typename Base::number_float_t value, const typename Base::string_t& text)
    {
        return counted() && Base::number_float(value, text);
    }
    bool string(typename Base::string_t& value) { return counted() && Base::string(value); }
    bool binary(typename Base::binary_t& value) { return counted() && Base::binary(value); }
    bool start_object(size_t elements) { return opened() && Base::start_object(elements); }
    bool end_object()
    {
        --depth_;
        return Base::end_object();
    }
    bool start_array(size_t elements) { return opened() && Base::start_array(elements); }
    bool end_array()
    {
        --depth_;
        return Base::end_array();
    }

private:
    bool counted()
    {
        if (valuesLeft_ == 0) return false;
        --valuesLeft_;
        return true;
    }
    bool opened() { return counted() && ++depth_ <= deepestNesting; }

    size_t valuesLeft_;
    size_t depth_ = 0;
};

template <class Value>
std::optional<Value> parseBounded(std::string_view bytes, size_t maxValues)
{
    Value value;
    BoundedReader<Value> reader(value, maxValues);
    if (!Value::sax_parse(bytes.begin(), bytes.end(), &reader) || value.is_discarded()) return std::nullopt;
    return value;
}

} // namespace

std::optional<Json> parseJson(std::string_view bytes, size_t maxValues)
{
    return parseBounded<Json>(bytes, maxValues);
}

std::optional<nlohmann::ordered_json> parseOrderedJson(std::string_view bytes)
{
    return parseBounded<nlohmann::ordered_json>(bytes, SIZE_MAX);
}

const Json& requireObject(const Json& value, std::string_view what)
{
    if (!value.is_object()) throw JsonFieldError{{std::string(what), "expected an object"}};
    return value;
}

std::optional<int64_t> wholeNumber(const Json& value)
{
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(INT64_MAX)) return std::nullopt;
        return value.get<int64_t>();
    }
    if (value.is_number_float()) {
        double number = value.get<double>();
        if (std::isfinite(number) && number == std::trunc(number) && number >= -9.2233720368547758e18 &&
            number < 9.2233720368547758e18)
            return int64_t(number);
    }
    return std::nullopt;
}

std::optional<std::string> optionalText(const Json& object, const char* key)
{
    const Json* value = present(object, key);
    if (!value) return std::nullopt;
    if (!value->is_string()) mistyped(key, "text");
    return value->get<std::string>();
}

std::string requiredText(const Json& object, const char* key)
{
    if (auto text = optionalText(object, key)) return *text;
    missing(key);
}

std::optional<int64_t> optionalInteger(const Json& object, const char* key)
{
    const Json* value = present(object, key);
    if (!value) return std::nullopt;
    auto number = wholeNumber(*value);
    if (!number) mistyped(key, "a whole number");
    return number;
}

int64_t requiredInteger(const Json& object, const char* key)
{
    if (auto number = optionalInteger(object, key)) return *number;
    missing(key);
}

std::optional<bool> optionalBoolean(const Json& object, const char* key)
{
    const Json* value = present(object, key);
    if (!value) return std::nullopt;
    if (!value->is_boolean()) mistyped(key, "a boolean");
    return value->get<bool>();
}

bool requiredBoolean(const Json& object, const char* key)
{
    if (auto flag = optionalBoolean(object, key)) return *flag;
    missing(key);
}

std::optional<std::vector<std::string>> optionalTextList(const Json& object, const char* key)
{
    const Json* value = present(object, key);
    if (!value) return std::nullopt;
    if (!value->is_array()) mistyped(key, "a list of texts");
    std::vector<std::string> texts;
    texts.reserve(value->size());
    for (const Json& element : *value) {
        if (!element.is_string()) mistyped(key, "a list of texts");
        texts.push_back(element.get<std::string>());
    }
    return texts;
}

std::optional<std::map<std::string, std::string>> optionalTextMap(const Json& object, const char* key)
{
    const Json* value = present(object, key);
    if (!value) return std::nullopt;
    if (!value->is_object()) mistyped(key, "a map of texts");
    std::map<std::string, std::string> texts;
    for (const auto& [name, element] : value->items()) {
        if (!element.is_string()) mistyped(key, "a map of texts");
        texts.emplace(name, element.get<std::string>());
    }
    return texts;
}

} // namespace oxel
