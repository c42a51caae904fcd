#include "app/AncestorSender.h"

#include "model/HandoffApp.h"

#include <array>
#include <fstream>
#include <sstream>
#include <string_view>

namespace oxel {

namespace {

constexpr std::array<std::string_view, 14> passedOver{"sh",
                                                      "bash",
                                                      "dash",
                                                      "zsh",
                                                      "fish",
                                                      "ksh",
                                                      "env",
                                                      "lua",
                                                      "nohup",
                                                      "setsid",
                                                      "flatpak-spawn",
                                                      "gio",
                                                      "gio-launch-desktop",
                                                      "systemd"};
// However long a chain of shells, the walk ends here.
constexpr int maxAncestorsRead = 32;

bool isPassedOver(const std::string& name)
{
    for (std::string_view shell : passedOver) {
        if (name == shell) return true;
    }
    return false;
}

// /proc/<pid>/stat: "pid (name) state ppid ..."; the name may itself hold spaces and parentheses.
class ProcTable final : public ProcessTable {
public:
    std::optional<Entry> read(pid_t process) const override
    {
        std::ifstream file("/proc/" + std::to_string(process) + "/stat");
        std::stringstream buffer;
        buffer << file.rdbuf();
        std::string stat = buffer.str();
        size_t open = stat.find('(');
        size_t close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        long parent = 0;
        if (!(rest >> state >> parent)) return std::nullopt;
        return Entry{stat.substr(open + 1, close - open - 1), pid_t(parent)};
    }
};

} // namespace

const ProcessTable& ProcessTable::system()
{
    static const ProcTable table;
    return table;
}

std::optional<std::string> ancestorSender(const ProcessTable& table, pid_t process)
{
    std::optional<ProcessTable::Entry> current = table.read(process);
    int counted = 0;
    for (int read = 0; current && current->parent > 1 && read < maxAncestorsRead; ++read) {
        current = table.read(current->parent);
        if (!current) return std::nullopt;
        if (isPassedOver(current->name)) continue;
        if (handoffAppFromHostName(current->name)) return current->name;
        if (++counted == maxSenderAncestors) return std::nullopt;
    }
    return std::nullopt;
}

} // namespace oxel
