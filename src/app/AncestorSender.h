#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace oxel {

// Reads the processes of this computer: a process's name and its parent.
class ProcessTable {
public:
    struct Entry {
        std::string name;
        pid_t parent = 0;
    };

    virtual ~ProcessTable() = default;
    virtual std::optional<Entry> read(pid_t process) const = 0;

    // The table under /proc.
    static const ProcessTable& system();
};

// The most ancestors looked at, shells and launchers not counted.
inline constexpr int maxSenderAncestors = 5;

// The name of the photo application that started `process`'s parent chain, when one of its
// ancestors is recognised as one (desktop launches double-fork, so the parent alone says nothing).
// Shells and launchers in between are passed over; an unrecognised name is never used, so a start
// from a terminal has no sender.
std::optional<std::string> ancestorSender(const ProcessTable& table, pid_t process);

} // namespace oxel
