#pragma once

#include <optional>
#include <string>

namespace oxel {

// The machine's model name: the firmware's product name, else the CPU's model name, else
// "unknown". Invalid UTF-8 is replaced, never a failure.
std::string deviceModel();

// The system release as "<major>.<minor>" (from os-release, else the kernel), for the context line.
std::string systemRelease();

// One line of context for the support page: "user:<id> | app:oxel pro <version> | macos:<release> |
// device:<model>" and then the action, job and report where given and not empty.
std::string supportContext(const std::optional<std::string>& action, const std::optional<std::string>& job,
                           const std::optional<std::string>& report);

// The support page's URL with the context as its one query item "context".
std::string supportURL(const std::optional<std::string>& action, const std::optional<std::string>& job,
                       const std::optional<std::string>& report);

// Opens the support page in the browser; no result, never fails.
void openSupport(const std::optional<std::string>& action = std::nullopt,
                 const std::optional<std::string>& job = std::nullopt,
                 const std::optional<std::string>& report = std::nullopt);

} // namespace oxel
