#include "backend/BackendBaseURL.h"

#include <cstdlib>
#include <mutex>
#include <optional>

namespace oxel {
namespace {

bool usable(const std::optional<std::string>& value)
{
    return value && !value->empty() && value->find("$(") == std::string::npos;
}

struct BaseURL {
    std::mutex mutex;
    std::optional<std::string> value;
};

BaseURL& baseURL()
{
    static BaseURL shared;
    return shared;
}

std::optional<std::string> environmentValue()
{
    const char* text = std::getenv("OXEL_BACKEND_URL");
    if (!text) return std::nullopt;
    return std::string(text);
}

} // namespace

std::string resolveBackendBaseURL(const BuildInfo& info)
{
    auto configured = info.string("BackendURL");
    return usable(configured) ? *configured : defaultBackendBaseURL;
}

std::string atRunningBackend(const std::string& url, const BuildInfo& info, const std::string& running)
{
    const std::string built = resolveBackendBaseURL(info);
    const bool atBuilt = url.starts_with(built) && (url.size() == built.size() || url[built.size()] == '/');
    return atBuilt ? running + url.substr(built.size()) : url;
}

std::string backendBaseURL()
{
    auto& shared = baseURL();
    std::lock_guard lock(shared.mutex);
    if (!shared.value) {
        auto fromEnvironment = environmentValue();
        shared.value = usable(fromEnvironment) ? *fromEnvironment : resolveBackendBaseURL(BuildInfo::main());
    }
    return *shared.value;
}

void overrideBackendBaseURL(std::string url)
{
    auto& shared = baseURL();
    std::lock_guard lock(shared.mutex);
    shared.value = std::move(url);
}

} // namespace oxel
