#pragma once

#include <string>
#include <string_view>

namespace oxel {

// Bytes read as UTF-8 text: the bytes themselves when they are valid UTF-8, else "".
std::string utf8OrEmpty(std::string_view bytes);

// Bytes read as UTF-8 with every invalid sequence replaced by U+FFFD.
std::string utf8Repaired(std::string_view bytes);

// The first `count` user-perceived characters of valid UTF-8 text: a base character keeps the
// combining marks, joiners, variation selectors and skin-tone modifiers that follow it, and a pair
// of regional indicators (a flag) or CR LF counts as one.
std::string firstCharacters(std::string_view text, size_t count);

// The text after its first `count` user-perceived characters; empty when it has no more.
std::string afterFirstCharacters(std::string_view text, size_t count);

// How many user-perceived characters the text holds, counted as `firstCharacters` counts them.
size_t characterCount(std::string_view text);

// Text fit to stand on one line of the window: invalid UTF-8 repaired, every control character
// (line breaks and tabs among them) turned into a space, the marks that reorder text (bidirectional
// embeddings, overrides and isolates, which can make a name read as another) dropped, cut to its
// first `count` characters and trimmed of spaces at both ends. Only the first `count` x 64 bytes
// are read, so a text of any length costs no more than a short one.
std::string oneLineText(std::string_view text, size_t count);

} // namespace oxel
