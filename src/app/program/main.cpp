#include "app/AncestorSender.h"
#include "app/Application.h"
#include "app/ForwardedStarts.h"
#include "app/LaunchArguments.h"
#include "app/RefusedStart.h"
#include "library/LibraryLock.h"
#include "library/LibraryStore.h"
#include "platform/AppFolders.h"
#include "platform/Diagnostics.h"
#include "platform/InstanceChannel.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace {

std::optional<std::string> activationToken()
{
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const char* value = std::getenv(name);
        if (value && *value) return std::string(value);
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace oxel;
    // Before any thread starts, so that every thread's heap follows it.
    Application::handLargeBuffersBackWhenFreed();
    std::error_code error;
    std::filesystem::path here = std::filesystem::current_path(error);
    ParsedArguments parsed = parseLaunchArguments(std::vector<std::string>(argv + 1, argv + argc),
                                                  error ? std::filesystem::path("/") : here, applicationUrlSchemes());
    for (const std::string& warning : parsed.warnings) std::cerr << warning << '\n';
    if (!parsed.arguments) {
        std::cerr << parsed.error << '\n';
        return 2;
    }
    LaunchArguments launch = std::move(*parsed.arguments);
    if (launch.handoff && !launch.sender) launch.sender = ancestorSender(ProcessTable::system(), ::getpid());
    launch.activationToken = activationToken();

    auto forwarded = std::make_shared<ForwardedStarts>();
    InstanceChannel::Claim claim = InstanceChannel::claim(
        InstanceChannel::standardPath(), forwardedArguments(launch),
        [forwarded](std::vector<std::string> arguments, InstanceChannel::Hold hold) {
            forwarded->receive(std::move(arguments), std::move(hold));
        },
        launch.wait);
    if (claim.handedOff) return 0;
    if (!claim.channel) diagnose("instance", "no instance channel: " + claim.error);

    // Whatever the channel found, one program writes a library: a start that finds it taken hands
    // over to the program that holds it, waits for one that is closing, or ends. It keeps its own
    // channel meanwhile, so that the starts after it come to it.
    const auto root = LibraryStore::standardRoot(bundleIdentifier());
    const auto ownChannel = claim.channel ? std::optional(claim.channel->path()) : std::nullopt;
    const auto handOff = [&launch](const std::filesystem::path& channel) {
        return InstanceChannel::handOff(channel, forwardedArguments(launch), std::chrono::seconds(5), launch.wait);
    };
    auto library = LibraryLock::takeOrHandOver(root, ownChannel, handOff);
    if (library.handedOver) return 0;
    if (library.heldElsewhere) {
        claim.channel.reset();
        std::cerr << "oxel-pro: another oxel pro is using the library at " << root.string() << '\n';
        RefusedStart::show(argc, argv, RefusedStart::photographsNotOpened(launch, *forwarded));
        return 1;
    }
    // A library this program could not lock may be another's to write: it is read, never written.
    Application::Environment environment = Application::Environment::standard();
    if (!library.lock) {
        diagnose("library", "the library is not locked, so nothing is written to it: " + library.error);
        environment.library.refusal = library.error;
    }
    if (library.unlocked) diagnose("library", "the library's disk has no locks: it is written without one");
    environment.library.unlocked = library.unlocked;
    if (library.lock) environment.library.lockedRoot = library.lock->folder();
    environment.libraryLock = std::move(library.lock);

    Application application(argc, argv, std::move(launch), std::move(claim.channel), std::move(forwarded),
                            std::move(environment));
    const int status = application.run();
    if (application.end()) return status;
    // A backend call that is not answered holds a thread of the work pool, which the way out of
    // the process would wait for: the library is written and let go already, so the process ends
    // here.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(status);
}
