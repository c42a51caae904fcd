#include "ondevice/BatchNamer.h"

#include "async/Offload.h"
#include "ondevice/PlaceIndex.h"
#include "platform/Diagnostics.h"

#include <algorithm>

namespace oxel::BatchNamer {
namespace {

constexpr size_t placeSamples = 3;

} // namespace

Task<std::optional<std::string>> placeName(std::vector<Coordinate> coordinates, Geocoder geocoder)
{
    if (!geocoder) geocoder = reverseGeocode;
    std::vector<std::string> names;
    for (const Coordinate& coordinate : evenlySpaced(coordinates, placeSamples)) {
        const std::optional<std::string> name = co_await geocoder(coordinate);
        if (!name) co_return std::nullopt;
        names.push_back(lowerCased(*name));
    }
    if (names.empty()) co_return std::nullopt;
    const bool agree =
        std::all_of(names.begin(), names.end(), [&](const std::string& name) { return name == names[0]; });
    if (!agree) co_return std::nullopt;
    co_return names[0];
}

Task<std::optional<std::string>> reverseGeocode(Coordinate coordinate)
{
    co_return co_await offload(WorkPriority::utility, [coordinate] {
        return PlaceIndex::standard().reverseGeocode(coordinate.latitude, coordinate.longitude);
    });
}

Task<std::optional<std::string>> askModel(std::vector<std::string> descriptions, std::vector<std::string> intents,
                                          std::optional<std::string> place, LanguageModel* model, CancelToken cancel)
{
    if (!model || !model->availability().isAvailable() || descriptions.empty()) co_return std::nullopt;
    ModelRequest request;
    request.instructions = modelInstructions();
    request.prompt = modelPrompt(descriptions, intents, place);
    request.sampling = ModelSampling::greedy;
    const ModelReply reply = co_await model->respond(std::move(request), std::move(cancel));
    if (const auto* failure = std::get_if<ModelFailure>(&reply)) {
        diagnose("batch-namer", "the model gave no name: " + failure->description);
        co_return std::nullopt;
    }
    co_return cleanAnswer(std::get<std::string>(reply));
}

} // namespace oxel::BatchNamer
