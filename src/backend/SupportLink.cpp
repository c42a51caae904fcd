#include "backend/SupportLink.h"

#include "backend/BackendRequest.h"
#include "backend/Utf8Text.h"
#include "platform/BuildInfo.h"
#include "platform/UrlOpener.h"

#include <fstream>
#include <sstream>
#include <sys/utsname.h>
#include <vector>

namespace oxel {
namespace {

constexpr const char* supportPage = "https://oxel.pro/support";

std::optional<std::string> firstLine(const char* path)
{
    std::ifstream file(path);
    std::string line;
    if (!file || !std::getline(file, line)) return std::nullopt;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) return std::nullopt;
    return line;
}

std::optional<std::string> cpuModelName()
{
    std::ifstream file("/proc/cpuinfo");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("model name", 0) != 0) continue;
        auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        auto start = line.find_first_not_of(' ', colon + 1);
        if (start != std::string::npos) return line.substr(start);
    }
    return std::nullopt;
}

std::optional<std::string> osReleaseVersion()
{
    std::ifstream file("/etc/os-release");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("VERSION_ID=", 0) != 0) continue;
        std::string value = line.substr(11);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (!value.empty()) return value;
    }
    return std::nullopt;
}

// "major.minor" of a dotted version, without the patch number.
std::string majorMinor(const std::string& version)
{
    std::vector<std::string> pieces;
    std::stringstream stream(version);
    std::string piece;
    while (std::getline(stream, piece, '.') && pieces.size() < 2) pieces.push_back(piece);
    std::string major = pieces.empty() ? "0" : pieces[0];
    std::string minor = pieces.size() > 1 ? pieces[1] : "0";
    auto digitsOnly = [](std::string text) {
        size_t end = 0;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        text.resize(end);
        return text.empty() ? std::string("0") : text;
    };
    return digitsOnly(major) + "." + digitsOnly(minor);
}

bool given(const std::optional<std::string>& text)
{
    return text && !text->empty();
}

} // namespace

std::string deviceModel()
{
    auto name = firstLine("/sys/devices/virtual/dmi/id/product_name");
    if (!name) name = cpuModelName();
    return name ? utf8Repaired(*name) : "unknown";
}

std::string systemRelease()
{
    if (auto version = osReleaseVersion()) return majorMinor(*version);
    utsname names{};
    if (uname(&names) == 0) return majorMinor(names.release);
    return "0.0";
}

std::string supportContext(const std::optional<std::string>& action, const std::optional<std::string>& job,
                           const std::optional<std::string>& report)
{
    std::vector<std::string> items;
    if (auto userId = accountDefault("userId")) items.push_back("user:" + *userId);
    items.push_back("app:oxel pro " + appVersion());
    items.push_back("macos:" + systemRelease());
    items.push_back("device:" + deviceModel());
    if (given(action)) items.push_back("action:" + *action);
    if (given(job)) items.push_back("job:" + *job);
    if (given(report)) items.push_back("report:" + *report);
    std::string line;
    for (const auto& item : items) line += (line.empty() ? "" : " | ") + item;
    return line;
}

std::string supportURL(const std::optional<std::string>& action, const std::optional<std::string>& job,
                       const std::optional<std::string>& report)
{
    return std::string(supportPage) + "?" + queryString({{"context", supportContext(action, job, report)}});
}

void openSupport(const std::optional<std::string>& action, const std::optional<std::string>& job,
                 const std::optional<std::string>& report)
{
    (void)openURL(supportURL(action, job, report));
}

} // namespace oxel
