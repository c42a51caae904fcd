#pragma once

#include <string_view>

namespace oxel {

// What the program met and went on past goes to standard error, one line each: a render that
// failed, a hand-off it refused, a file it could not write. A line starts with its component in
// brackets, "[settings] not saved: disk full". Each is written whole in one call, so lines from
// several threads never mix, and a message's own line breaks become spaces: one event, one line.
void diagnose(std::string_view component, std::string_view message);

// The few lines worded under the application's name rather than a component, as people reading
// the log know them: "oxel pro library: could not write batch.json: …".
void diagnoseAs(std::string_view name, std::string_view message);

} // namespace oxel
