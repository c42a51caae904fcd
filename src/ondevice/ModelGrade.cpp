#include "ondevice/ModelGrade.h"

#include "async/Offload.h"
#include "develop/codecs/JPEGEncoder.h"
#include "imaging/ColourSpace.h"

namespace oxel::ModelGrade {
namespace {

constexpr int jpegQualityForModel = 92;

using Reason = ModelAvailability::Reason;

bool mayReadPictures(const LanguageModel& model)
{
    const Reason reason = model.availability().reason;
    return reason == Reason::notSetUp || reason == Reason::notOnThisComputer || model.readsPictures();
}

} // namespace

const std::string& instructions()
{
    static const std::string text =
        "You are oxel's colourist. You will be shown one photograph. Read its light, then make the house's "
        "two decisions for it, temperature and density, and say how far to take them. The house builds the "
        "colour from your decisions; you write no numbers.\n"
        "\n"
        "TEMPERATURE, which way the picture leans. Read it in this order.\n"
        "- sun: hard directional sun outdoors, edged shadows, a blue sky or blue shade. Golden hour counts.\n"
        "- night: dark, outdoors, and the light comes from things in the frame: street lamps, neon, a "
        "shopfront, a flash on a night street.\n"
        "- night-in: a room at night lit by its own lamps, perhaps with a cold window or a screen in it. "
        "Indoors.\n"
        "- warm: flat light, no hard sun, and the picture's own colour is warm: wood, a lamp-lit room by "
        "day, autumn leaves, brick, tan, skin.\n"
        "- cool: flat light, and the picture's own colour is cool or grey: overcast, fluorescent light, "
        "snow, water, concrete, blue shade.\n"
        "- none: black and white, or a picture no colour would help.\n"
        "\n"
        "DENSITY, how much colour.\n"
        "- rich: the light is strong or coloured, and there is a subject to hold it. Hard sun and golden "
        "hour ARE strong light: a sun picture is rich unless everything in it is one family of colour. Neon "
        "and lamps against the night are rich too.\n"
        "- quiet: flat or soft light where the colour should stay gentle: a room, people, a dog on an "
        "overcast day.\n"
        "- drained: one family of colour and nothing that must pop: a landscape, a dull street, an object, a "
        "texture, a scene where everything blends.\n"
        "\n"
        "strength: how far to take it, 0.4 to 1.0. The house is meant to show: most photographs take 0.8 to "
        "1.0, and 1.0 for one that clearly belongs in its cell. 0.6 when the picture is already close to the "
        "look; 0.4 only for a delicate one.\n"
        "\n"
        "Examples. A seaside square in hard late sun with long shadows: sun, rich, 1.0. A man at a pub table "
        "under warm lamps with a cold shop window behind him: night-in, rich, 1.0. Two friends outside a "
        "brick building at night under a sodium lamp: night, rich, 0.9. A grey London street under cloud: "
        "cool, quiet, 0.8. A spaniel in a lift with warm wood panelling: warm, quiet, 0.8. A limestone "
        "valley at dusk: cool, drained, 0.9. A lens held over a pale wooden table: warm, drained, 0.7. A man "
        "and his dog in a strip-lit station waiting room: cool, quiet, 0.8.\n"
        "\n"
        "reading: one sentence, before you decide, saying what the light is doing and what the picture's key "
        "colours are.\n"
        "brief: one plain sentence of 14 to 20 words the user reads under the picture, saying what the "
        "colour does to this photograph. No jargon, no names of films or people.";
    return text;
}

Task<std::variant<ModelGradeDraft, ModelFailure>> ask(LanguageModel& model, Bitmap image, bool retry,
                                                      CancelToken cancel)
{
    auto encode = [image] { return encodeJPEG(image, jpegQualityForModel, ColourSpace::sRGB().icc); };
    auto jpeg = co_await offload(WorkPriority::userInitiated, std::move(encode));
    if (!jpeg) co_return ModelFailure{"could not encode the picture for the model"};
    ModelRequest request{instructions(),  prompt,
                         std::move(jpeg), ModelGradeDraft::schema(),
                         "grade_draft",   retry ? ModelSampling::random : ModelSampling::greedy};
    const ModelReply reply = co_await model.respond(std::move(request), cancel);
    if (const auto* failure = std::get_if<ModelFailure>(&reply)) co_return *failure;
    co_return ModelGradeDraft::fromAnswer(std::get<std::string>(reply));
}

std::optional<std::string> unavailableMessage(const LanguageModel& model)
{
    if (!mayReadPictures(model))
        return "the local model can't read pictures, so colour only isn't here. colour and light works as ever.";
    switch (model.availability().reason) {
    case Reason::available: return std::nullopt;
    case Reason::notSetUp:
    case Reason::notOnThisComputer:
        return "colour only needs a local model that can read pictures, and none is set up on this computer. colour "
               "and light works as ever.";
    case Reason::notProbed:
    case Reason::loading:
        return "the local model is still getting ready on this computer. colour only appears beside process once it "
               "is.";
    case Reason::notAnswering: break;
    }
    return "the local model isn't answering right now, so colour only is away for now.";
}

std::string diagnostic(const LanguageModel& model)
{
    const ModelAvailability availability = model.availability();
    if (!mayReadPictures(model)) return "model unavailable: the model can't read pictures";
    switch (availability.reason) {
    case Reason::available: return "available";
    case Reason::notSetUp: return "model unavailable: no model server is set up";
    case Reason::notOnThisComputer: return "model unavailable: the model server must be on this computer";
    case Reason::notProbed:
    case Reason::loading: return "model unavailable: the model server is loading its model";
    case Reason::notAnswering: break;
    }
    return "model unavailable: the model server at " + availability.serverURL + " did not answer";
}

} // namespace oxel::ModelGrade
