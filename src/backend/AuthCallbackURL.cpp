#include "backend/AuthCallbackURL.h"

#include <algorithm>
#include <cctype>

namespace oxel {

namespace {

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (isAsciiDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Characters that may stand in a URL as they are, with "%" for escapes. Bytes beyond ASCII are
// refused too: a browser hands them over percent-escaped.
bool mayAppearInURL(char c)
{
    if (isAsciiLetter(c) || isAsciiDigit(c)) return true;
    static constexpr std::string_view allowed = "-._~:/?#[]@!$&'()*+,;=%";
    return allowed.find(c) != std::string_view::npos;
}

bool validUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size()) return false;
        std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        const bool overlong =
            (length == 2 && code < 0x80) || (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

// Percent-decoded text, or none when the decoded bytes are not UTF-8 (the escapes were checked
// when the URL was parsed).
std::optional<std::string> percentDecoded(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            decoded.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    if (!validUtf8(decoded)) return std::nullopt;
    return decoded;
}

bool escapesAreWhole(std::string_view url)
{
    for (std::size_t i = 0; i < url.size(); ++i)
        if (url[i] == '%' && (i + 2 >= url.size() || hexValue(url[i + 1]) < 0 || hexValue(url[i + 2]) < 0))
            return false;
    return true;
}

std::vector<QueryItem> splitQuery(std::string_view query)
{
    std::vector<QueryItem> items;
    for (;;) {
        const auto end = query.find('&');
        const std::string_view item = query.substr(0, end);
        const auto equals = item.find('=');
        QueryItem parsed{percentDecoded(item.substr(0, equals)).value_or(""), std::nullopt};
        if (equals != std::string_view::npos) parsed.value = percentDecoded(item.substr(equals + 1));
        items.push_back(std::move(parsed));
        if (end == std::string_view::npos) return items;
        query.remove_prefix(end + 1);
    }
}

} // namespace

std::optional<std::string> urlScheme(std::string_view url)
{
    const auto colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0 || !isAsciiLetter(url[0])) return std::nullopt;
    std::string scheme(url.substr(0, colon));
    for (char& c : scheme) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return scheme;
}

std::optional<AuthCallbackURL> AuthCallbackURL::parse(std::string_view url)
{
    auto scheme = urlScheme(url);
    if (!scheme || !std::all_of(url.begin(), url.end(), mayAppearInURL) || !escapesAreWhole(url)) return std::nullopt;
    AuthCallbackURL parsed{std::move(*scheme), std::nullopt};
    // A "?" inside the fragment starts no query.
    const std::string_view beforeFragment = url.substr(0, url.find('#'));
    const auto question = beforeFragment.find('?');
    if (question == std::string_view::npos) return parsed;
    const std::string_view query = beforeFragment.substr(question + 1);
    parsed.queryItems = query.empty() ? std::vector<QueryItem>{} : splitQuery(query);
    return parsed;
}

const QueryItem* AuthCallbackURL::firstItem(std::string_view name) const
{
    if (!queryItems) return nullptr;
    const auto found = std::find_if(queryItems->begin(), queryItems->end(),
                                    [name](const QueryItem& item) { return item.name == name; });
    return found == queryItems->end() ? nullptr : &*found;
}

} // namespace oxel
