#include "platform/NetworkReach.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <string>

namespace oxel {
namespace {

// The host part of a URL, without brackets, user or port, in lower case.
std::string hostOf(std::string_view url)
{
    const auto scheme = url.find("://");
    std::string_view rest = scheme == std::string_view::npos ? url : url.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) rest = rest.substr(at + 1);
    std::string_view host;
    if (rest.starts_with("[")) {
        const auto close = rest.find(']');
        host = close == std::string_view::npos ? std::string_view() : rest.substr(1, close - 1);
    } else {
        host = rest.substr(0, rest.find(':'));
    }
    std::string lower(host);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return lower;
}

// 127.x.x.x written as four decimal numbers.
bool isLoopbackAddress(const std::string& host)
{
    if (!host.starts_with("127.")) return false;
    int parts = 1;
    for (char c : host) {
        if (c == '.')
            ++parts;
        else if (c < '0' || c > '9')
            return false;
    }
    return parts == 4 && !host.ends_with(".") && host.find("..") == std::string::npos;
}

} // namespace

bool hasNetworkBeyondLoopback()
{
    ifaddrs* interfaces = nullptr;
    // When the interfaces cannot be listed the answer is left to the connection attempt.
    if (getifaddrs(&interfaces) != 0) return true;
    bool found = false;
    for (const ifaddrs* entry = interfaces; entry && !found; entry = entry->ifa_next) {
        if (!entry->ifa_addr) continue;
        const int family = entry->ifa_addr->sa_family;
        const bool up = (entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING);
        found = up && !(entry->ifa_flags & IFF_LOOPBACK) && (family == AF_INET || family == AF_INET6);
    }
    freeifaddrs(interfaces);
    return found;
}

bool isLoopbackHost(std::string_view url)
{
    const std::string host = hostOf(url);
    return host == "localhost" || host == "::1" || isLoopbackAddress(host);
}

} // namespace oxel
