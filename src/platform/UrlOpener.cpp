#include "platform/UrlOpener.h"

#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace oxel {

bool openURL(const std::string& url)
{
    pid_t child = 0;
    char program[] = "xdg-open";
    std::string argument = url;
    char* arguments[] = {program, argument.data(), nullptr};
    if (posix_spawnp(&child, program, nullptr, nullptr, arguments, environ) != 0) return false;
    // Reap the opener when it ends, so it leaves no zombie behind.
    std::thread([child] { waitpid(child, nullptr, 0); }).detach();
    return true;
}

} // namespace oxel
