#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

// What one start of the program was asked to do, read from its command line. Paths are absolute,
// so the arguments mean the same in the running instance they are forwarded to.
struct LaunchArguments {
    // Files given any other way than with --handoff: they are opened, never written over.
    std::vector<std::string> openedFiles;
    // Files handed over for editing, which send back may write over.
    std::vector<std::string> handoffFiles;
    // Sign-in callbacks and other URLs of the application's own schemes.
    std::vector<std::string> urls;
    bool handoff = false;
    // The sending application's name: --handoff=NAME, else found by the caller (see `AncestorSender`).
    std::optional<std::string> sender;
    // The sender waits until the running instance lets its files go.
    bool wait = false;
    // The desktop's token for bringing the window forward, from the starting process's environment.
    std::optional<std::string> activationToken;

    bool operator==(const LaunchArguments&) const = default;
};

struct ParsedArguments {
    std::optional<LaunchArguments> arguments; // none when the command line is wrong
    std::string error;                        // one line, when wrong
    std::vector<std::string> warnings;        // one line each: parts left out, the rest still used
};

// The longest sender name taken from --handoff=NAME.
inline constexpr size_t maxSenderNameLength = 40;

// Reads `arguments` (without the program name). Relative paths are resolved against
// `workingFolder`; `file:` URIs are decoded; URLs of `urlSchemes` are kept as they are.
ParsedArguments parseLaunchArguments(const std::vector<std::string>& arguments,
                                     const std::filesystem::path& workingFolder,
                                     const std::vector<std::string>& urlSchemes = {"oxel"});

// The command line that `parseLaunchArguments` reads back into `launch`, whatever folder it is read in.
std::vector<std::string> forwardedArguments(const LaunchArguments& launch);

} // namespace oxel
