#pragma once

#include <string>

namespace oxel {

// Whether an item's original is still where its record says: present, out of reach for now, or
// reachable but not the file that was recorded. The detail is the text shown for the last two.
struct Availability {
    enum class Kind { present, offline, changed };

    Kind kind = Kind::present;
    std::string detail;

    static Availability present() { return {}; }
    static Availability offline(std::string detail) { return {Kind::offline, std::move(detail)}; }
    static Availability changed(std::string detail) { return {Kind::changed, std::move(detail)}; }

    bool operator==(const Availability&) const = default;
};

} // namespace oxel
