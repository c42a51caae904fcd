#include "library/JobFailure.h"

#include "backend/Utf8Text.h"

#include <array>
#include <utility>

namespace oxel {
namespace {

constexpr size_t detailCharacters = 220;

constexpr std::array<std::pair<std::string_view, std::string_view>, 4> narrations{{
    {"queued", "getting ready"},
    {"analysing", "reading the light"},
    {"generating", "developing"},
    {"retrying", "ran into a delay · trying again"},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 3> backendFailureTexts{{
    {"content_policy", "outside oxel's image rules · shot not spent"},
    {"generation_timeout", "didn't come through in time · shot not spent"},
    {"aspect_unsupported", "too long and thin for oxel to light · shot not spent"},
}};
constexpr std::string_view modelGaveUp = "the model gave up · shot not spent";

} // namespace

const JobFailure JobFailure::originalMissing{"offline", "the original is not here", false};
const JobFailure JobFailure::encode{"encode", "could not prepare the upload", true};
const JobFailure JobFailure::stale{"stale", "the server stopped answering · shot not spent", true};
const JobFailure JobFailure::staleJob{"stale_job", "the queue lost this one · shot not spent", true};
const JobFailure JobFailure::blockedPolicy{"content_policy", "outside oxel's image rules · shot not spent", false};
const JobFailure JobFailure::insufficientCredits{"insufficient_credits", "no shots left in the roll", true};
const JobFailure JobFailure::updateRequired{"update_required", "oxel pro needs updating", false};
const JobFailure JobFailure::aspectUnsupported{"aspect_unsupported",
                                               "too long and thin for oxel to light · no shot used", false};
const JobFailure JobFailure::noImage{"no_image", "the server sent no picture · shot not spent", true};
const JobFailure JobFailure::originalWentAway{"offline", "the original went offline before the result came back",
                                              false};
const JobFailure JobFailure::decode{"decode", "could not read the result · shot not spent", true};

JobFailure JobFailure::collectedTooLate(const std::string& status)
{
    return {status, "this one expired before it was collected", true};
}

JobFailure JobFailure::backendFailed(const std::optional<std::string>& code, const std::optional<std::string>& detail)
{
    return {code, failureText(code, detail), code != contentPolicyCode};
}

JobFailure JobFailure::submissionFailed(std::string_view category, bool network)
{
    return {"submit_" + std::string(category),
            network ? "could not reach oxel · shot not spent" : "something went wrong · shot not spent", true};
}

JobFailure JobFailure::fetchFailed(std::string_view category)
{
    return {"fetch_" + std::string(category), "could not collect the result · shot not spent", true};
}

std::string statusNarration(std::string_view status)
{
    for (const auto& [known, narration] : narrations)
        if (status == known) return std::string(narration);
    return std::string(status);
}

std::string failureText(const std::optional<std::string>& code, const std::optional<std::string>& detail)
{
    std::string text(modelGaveUp);
    for (const auto& [known, message] : backendFailureTexts)
        if (code == known) text = message;
    if (detail && !detail->empty()) text += " (" + firstCharacters(*detail, detailCharacters) + ")";
    return text;
}

} // namespace oxel
