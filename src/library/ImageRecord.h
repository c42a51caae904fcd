#pragma once

#include "develop/transfer/PlanVerdict.h"
#include "library/ExportRecord.h"
#include "library/FileStamp.h"
#include "library/OriginalRef.h"
#include "platform/Decoded.h"
#include "platform/JsonFields.h"
#include "platform/Uuid.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// One image of a stored batch (its image.json): the original, how far developing got, the
// photographer's steering, the kept render and every export.
struct ImageRecord {
    enum class State { unprocessed, developing, done, failed };
    enum class Mode { light, colour };

    Uuid id;
    OriginalRef original;
    State state = State::unprocessed;
    std::optional<std::string> jobId;
    std::optional<std::string> jobAccount; // the user id that submitted the job
    std::string addition;
    std::optional<std::string> unlinkedNudge;
    double strengthOffset = 0;
    bool strengthTouched = false;
    double colourOffset = 0;
    bool colourTouched = false;
    bool useAlternative = false;
    std::optional<std::string> renderFile; // "render." and the render's extension
    std::vector<ExportRecord> exports;     // oldest first
    std::optional<FileStamp> sentBack;
    std::optional<Mode> mode; // `colour` for a colour-only result, else absent
    std::optional<bool> grainBaked;
    // What planning the preview found at delivery; absent in records written before it was kept.
    std::optional<bool> planMatched;
    std::optional<double> planDivergence;

    bool operator==(const ImageRecord&) const = default;

    // The image was developed and its result can be rebuilt: from its kept render, or for a
    // colour-only result from the original alone.
    bool hasResult() const;
    std::optional<PlanVerdict> planVerdict() const;
    void setPlanVerdict(const std::optional<PlanVerdict>& verdict);

    // "render." followed by 1 to 5 lower-case letters or digits: a plain name inside the image's
    // folder, never a path out of it.
    static bool isRenderFileName(std::string_view name);

    // The record as image.json holds it; reading fails on anything but the strict form.
    static Decoded<ImageRecord> decode(std::string_view bytes);
    Decoded<std::string> encode() const;

    static ImageRecord read(const Json& object);
    Json json() const;
};

} // namespace oxel
