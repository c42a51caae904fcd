#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// One item of a URL's query, percent-decoded; an item without "=" has no value.
struct QueryItem {
    std::string name;
    std::optional<std::string> value;
    bool operator==(const QueryItem&) const = default;
};

// The parts of a sign-in callback URL ("oxel:/auth?state=...&id_token=...") that the flows
// read, taken apart without resolving against any base. The bytes come from outside the
// program (a browser, another local process), so anything malformed is refused whole.
struct AuthCallbackURL {
    std::string scheme; // lower case
    // None when the URL has no "?" at all.
    std::optional<std::vector<QueryItem>> queryItems;

    // None for text that is not a URL: no valid scheme, a character that may not appear in a
    // URL (spaces, controls, quotes, angle brackets and the like) or a broken percent escape.
    static std::optional<AuthCallbackURL> parse(std::string_view url);

    // The first item of that name, if any.
    const QueryItem* firstItem(std::string_view name) const;
};

// The scheme of `url` in lower case, or none when it does not start with a valid one.
std::optional<std::string> urlScheme(std::string_view url);

} // namespace oxel
