#include "backend/ResultWire.h"

#include "backend/Base64.h"

namespace oxel {
namespace {

std::optional<std::string> decodedPicture(const std::optional<std::string>& text)
{
    if (!text) return std::nullopt;
    return base64Decoded(*text);
}

} // namespace

ResultWire ResultWire::from(const JobResultResponse& response)
{
    ResultWire wire;
    wire.fullSend = decodedPicture(response.fullSendImage);
    wire.refined = decodedPicture(response.refinedImage);
    wire.postProcessed = response.postProcessed;
    wire.postprocessVersion = response.postprocessVersion;
    wire.imageModel = response.imageModel;
    return wire;
}

} // namespace oxel
