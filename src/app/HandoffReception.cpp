#include "app/HandoffReception.h"

#include "app/AsciiLowered.h"
#include "async/TimeSource.h"

namespace oxel {

void HandoffReception::receive(const LaunchArguments& launch)
{
    for (const std::string& url : launch.urls) target_.openLink(url);
    if (!launch.openedFiles.empty()) target_.addOpened(launch.openedFiles);
    if (!launch.handoff || launch.handoffFiles.empty()) return;
    if (target_.showsNothing() && time_.steady() - launchedAt_ < launchWindow) {
        std::optional<std::string> sender;
        if (launch.sender) sender = asciiLowered(*launch.sender);
        target_.markLaunchedByHandoff(sender);
    }
    target_.receiveHandoff(launch.handoffFiles, launch.sender);
}

} // namespace oxel
