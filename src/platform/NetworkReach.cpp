#include "platform/NetworkReach.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <string>

namespace oxel {

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
    auto start = url.find("://");
    std::string_view rest = start == std::string_view::npos ? url : url.substr(start + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (auto at = rest.rfind('@'); at != std::string_view::npos) rest = rest.substr(at + 1);
    std::string_view host;
    if (rest.starts_with("[")) {
        host = rest.substr(1, rest.find(']') == std::string_view::npos ? 0 : rest.find(']') - 1);
    } else {
        host = rest.substr(0, rest.find(':'));
    }
    std::string lower(host);
    for (char& c : lower) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower == "localhost" || lower == "::1" || lower.starts_with("127.");
}

} // namespace oxel
