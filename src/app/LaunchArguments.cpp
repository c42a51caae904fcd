#include "app/LaunchArguments.h"

#include "app/AsciiLowered.h"

#include <algorithm>

namespace oxel {

namespace {

constexpr std::string_view handoffFlag = "--handoff";
constexpr std::string_view waitFlag = "--wait";
constexpr std::string_view tokenFlag = "--activation-token=";

bool hasScheme(std::string_view argument, std::string_view scheme)
{
    return argument.size() > scheme.size() && argument[scheme.size()] == ':' &&
           asciiLowered(argument.substr(0, scheme.size())) == scheme;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> percentDecoded(std::string_view text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        int high = hexValue(text[i + 1]);
        int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        char byte = char(high * 16 + low);
        if (byte == '\0') return std::nullopt;
        result += byte;
        i += 2;
    }
    return result;
}

// The local path of a `file:` URI: "file:///p", "file://localhost/p" or "file:/p".
std::optional<std::string> filePath(std::string_view uri)
{
    std::string_view rest = uri.substr(5);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        std::string host = asciiLowered(rest.substr(0, slash));
        if (!host.empty() && host != "localhost") return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (!rest.starts_with('/')) return std::nullopt;
    rest = rest.substr(0, rest.find_first_of("?#"));
    return percentDecoded(rest);
}

bool printable(std::string_view name)
{
    return std::none_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

// Counts characters, not bytes, so a name in any script gets the same room.
size_t characterCount(std::string_view text)
{
    return size_t(std::count_if(text.begin(), text.end(), [](unsigned char c) { return (c & 0xc0) != 0x80; }));
}

struct Reader {
    const std::filesystem::path& workingFolder;
    const std::vector<std::string>& urlSchemes;
    ParsedArguments result;
    LaunchArguments launch;
    std::vector<std::string> files;

    bool fail(std::string message)
    {
        result.error = "oxel-pro: " + std::move(message);
        return false;
    }

    void readHandoff(std::string_view argument)
    {
        launch.handoff = true;
        if (argument.size() == handoffFlag.size()) return;
        std::string_view name = argument.substr(handoffFlag.size() + 1);
        if (name.empty()) return;
        if (!printable(name) || characterCount(name) > maxSenderNameLength) {
            result.warnings.push_back("oxel-pro: the sender's name after --handoff= is left out: it must be printable "
                                      "and at most 40 characters");
            return;
        }
        launch.sender = std::string(name);
    }

    bool readFile(const std::string& argument)
    {
        if (argument.empty()) return true;
        if (hasScheme(argument, "file")) {
            std::optional<std::string> path = filePath(argument);
            if (!path) return fail("not a local file: " + argument);
            files.push_back(std::filesystem::path(*path).lexically_normal().string());
            return true;
        }
        for (const std::string& scheme : urlSchemes) {
            if (hasScheme(argument, scheme)) {
                launch.urls.push_back(argument);
                return true;
            }
        }
        files.push_back((workingFolder / argument).lexically_normal().string());
        return true;
    }

    bool read(const std::vector<std::string>& arguments)
    {
        bool optionsEnded = false;
        for (const std::string& argument : arguments) {
            if (optionsEnded || !argument.starts_with("-") || argument == "-") {
                if (!readFile(argument)) return false;
            } else if (argument == "--") {
                optionsEnded = true;
            } else if (argument == handoffFlag || argument.starts_with(std::string(handoffFlag) + "=")) {
                readHandoff(argument);
            } else if (argument == waitFlag) {
                launch.wait = true;
            } else if (argument.starts_with(tokenFlag)) {
                launch.activationToken = argument.substr(tokenFlag.size());
            } else {
                std::string shown = printable(argument) ? argument : "with control characters";
                return fail("unknown option " + shown + " (use --handoff[=NAME] [--wait] FILE...)");
            }
        }
        if (launch.wait && !launch.handoff) return fail("--wait only goes with --handoff");
        (launch.handoff ? launch.handoffFiles : launch.openedFiles) = std::move(files);
        return true;
    }
};

} // namespace

ParsedArguments parseLaunchArguments(const std::vector<std::string>& arguments,
                                     const std::filesystem::path& workingFolder,
                                     const std::vector<std::string>& urlSchemes)
{
    Reader reader{workingFolder, urlSchemes, {}, {}, {}};
    if (reader.read(arguments)) reader.result.arguments = std::move(reader.launch);
    return std::move(reader.result);
}

std::vector<std::string> forwardedArguments(const LaunchArguments& launch)
{
    std::vector<std::string> result;
    if (launch.handoff) result.push_back(launch.sender ? "--handoff=" + *launch.sender : "--handoff");
    if (launch.wait) result.push_back("--wait");
    if (launch.activationToken) result.push_back(std::string(tokenFlag) + *launch.activationToken);
    result.insert(result.end(), launch.urls.begin(), launch.urls.end());
    result.push_back("--");
    const auto& files = launch.handoff ? launch.handoffFiles : launch.openedFiles;
    result.insert(result.end(), files.begin(), files.end());
    return result;
}

} // namespace oxel
