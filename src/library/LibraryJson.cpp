#include "library/LibraryJson.h"

#include "backend/AnalysisResponse.h"
#include "backend/Utf8Text.h"
#include "backend/WireJson.h"

#include <array>
#include <charconv>
#include <cmath>

namespace oxel {

namespace {

// Pretty-prints a JSON value with two spaces a level and keys in their sorted order, writing "/"
// as "\\/". Written out here rather than by the JSON library's own dump, which spends most of a
// record's time checking the long Base64 texts character by character.
struct PrettyWriter {
    std::string& out;

    void value(const Json& json, int depth)
    {
        switch (json.type()) {
        case Json::value_t::object: return object(json, depth);
        case Json::value_t::array: return array(json, depth);
        case Json::value_t::string: return text(json.get_ref<const std::string&>());
        case Json::value_t::boolean: return word(json.get<bool>() ? "true" : "false");
        case Json::value_t::number_integer: return number(json.get<int64_t>());
        case Json::value_t::number_unsigned: return number(json.get<uint64_t>());
        case Json::value_t::number_float: return real(json.get<double>());
        case Json::value_t::null: return word("null");
        default: throw JsonFieldError{{"", "a value JSON cannot carry"}};
        }
    }

    void object(const Json& json, int depth)
    {
        if (json.empty()) return word("{}");
        out += '{';
        bool first = true;
        for (const auto& [key, member] : json.items()) {
            separate(first, depth + 1);
            text(key);
            out += ": ";
            value(member, depth + 1);
        }
        close('}', depth);
    }

    void array(const Json& json, int depth)
    {
        if (json.empty()) return word("[]");
        out += '[';
        bool first = true;
        for (const Json& element : json) {
            separate(first, depth + 1);
            value(element, depth + 1);
        }
        close(']', depth);
    }

    void separate(bool& first, int depth)
    {
        if (!first) out += ',';
        first = false;
        newLine(depth);
    }

    void close(char bracket, int depth)
    {
        newLine(depth);
        out += bracket;
    }

    void newLine(int depth)
    {
        out += '\n';
        out.append(size_t(depth) * 2, ' ');
    }

    void word(std::string_view text) { out += text; }

    template <class Integer>
    void number(Integer value)
    {
        char digits[24];
        out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    }

    // The shortest text that reads back as the same double, always with a fraction or exponent.
    void real(double value)
    {
        if (!std::isfinite(value)) throw JsonFieldError{{"", "a number that is not finite"}};
        char digits[32];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        const std::string_view written(digits, size_t(end - digits));
        out += written;
        if (written.find_first_of(".e") == std::string_view::npos) out += ".0";
    }

    void text(std::string_view text)
    {
        const size_t start = out.size();
        out += '"';
        size_t run = 0;
        uint8_t seen = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const auto c = uint8_t(text[i]);
            seen |= c;
            if (!needsEscape[c]) continue;
            out.append(text.substr(run, i - run));
            escape(c);
            run = i + 1;
        }
        out.append(text.substr(run));
        out += '"';
        if (seen >= 0x80 && utf8OrEmpty(text).size() != text.size()) {
            out.resize(start);
            throw JsonFieldError{{"", "text that is not UTF-8"}};
        }
    }

    void escape(uint8_t c)
    {
        switch (c) {
        case '"': return word("\\\"");
        case '\\': return word("\\\\");
        case '/': return word("\\/");
        case '\b': return word("\\b");
        case '\f': return word("\\f");
        case '\n': return word("\\n");
        case '\r': return word("\\r");
        case '\t': return word("\\t");
        default: {
            static constexpr char hex[] = "0123456789abcdef";
            const char code[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            out.append(code, sizeof code);
        }
        }
    }

    static constexpr auto needsEscape = [] {
        std::array<bool, 256> table{};
        for (int c = 0; c < 0x20; ++c) table[c] = true;
        table['"'] = table['\\'] = table['/'] = true;
        return table;
    }();
};

} // namespace

std::string storedRecordBytes(const Json& json)
{
    std::string bytes;
    bytes.reserve(4096);
    PrettyWriter{bytes}.value(json, 0);
    return bytes;
}

std::vector<uint8_t> analysisBytes(const AnalysisResponse& analysis)
{
    Json json;
    to_json(json, analysis);
    const std::string text = compactJson(json);
    return {text.begin(), text.end()};
}

} // namespace oxel
