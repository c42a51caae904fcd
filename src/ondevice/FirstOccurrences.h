#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// Where each word first occurs in the text as a substring (a byte offset); words that do not
// occur are left out. One pass over the text whatever the number of words (Aho-Corasick), so a
// long text with many different words costs no more than reading it.
std::map<std::string, size_t> firstOccurrences(std::string_view text, const std::vector<std::string>& words);

} // namespace oxel
