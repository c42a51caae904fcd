#include "app/ModelStartTarget.h"

#include "model/AppModel.h"

namespace oxel {
namespace {

std::vector<std::filesystem::path> pathsOf(const std::vector<std::string>& files)
{
    return {files.begin(), files.end()};
}

} // namespace

bool ModelStartTarget::showsNothing() const
{
    return model_.items().empty() && !model_.batch();
}

void ModelStartTarget::markLaunchedByHandoff(std::optional<std::string> sender)
{
    model_.launchedByHandoff = true;
    model_.handoffSender = std::move(sender);
}

void ModelStartTarget::receiveHandoff(const std::vector<std::string>& files, const std::optional<std::string>& sender)
{
    model_.receiveHandoff(pathsOf(files), sender);
}

void ModelStartTarget::addOpened(const std::vector<std::string>& files)
{
    model_.addDropped(pathsOf(files));
}

void ModelStartTarget::openLink(const std::string& url)
{
    // Only a sign-in that waits takes a link; the service refuses (and logs) any other.
    model_.auth().handleCallbackURL(url);
}

} // namespace oxel
