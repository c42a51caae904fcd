#include "export/Exporter.h"

#include "export/PSDLayer.h"
#include "export/PSDWriter.h"

#include "develop/DevelopOrder.h"
#include "develop/Grain.h"
#include "develop/grade/ColourWear.h"
#include "develop/transfer/LanczosScale.h"
#include "develop/transfer/TransferContext.h"

#include <cmath>

namespace oxel {

namespace {

namespace fs = std::filesystem;

constexpr double progressAfterPlanning = 0.05;

const std::string fullSendNote = "moved too much to blend · exported at full send";
const std::string unmatchedNote =
    "could not match the render to the original · exported the render at the original's size";
const std::string layersKeepProfileNote = "layers keep the original's profile";

void report(const ExportProgress& progress, double value)
{
    if (progress) progress(value);
}

// The picture before colour, and the strength and note it came with.
struct Base {
    Image picture;
    double strength = 1.0;
    std::optional<TransferPlan> plan;
    std::optional<std::string> note;
};

Base transferredBase(const SourceImage& source, const DevelopInput& outcome, double strength)
{
    const DetailTransfer& transfer = outcome.transfer;
    Base base;
    base.plan = transfer.plan(true, true).plan;
    if (base.plan) {
        const bool diverged = base.plan->divergence > transfer.limits().refineDivergenceLimit;
        base.strength = diverged || std::isnan(strength) ? 1.0 : std::clamp(strength, 0.0, 1.0);
        if (diverged && strength < 1.0) base.note = fullSendNote;
        if (auto combined = transfer.combine(*base.plan, float(base.strength))) {
            base.picture = *combined;
            return base;
        }
    }
    // The transfer holds the render in the document's encoding: the delivered one is sRGB, which
    // would read as the wrong colours in any other document space.
    base.picture = lanczosScale(transfer.render(), source.image.extent());
    base.note = unmatchedNote;
    return base;
}

// The grade worn through the hold mask, and the layer that carries the same change.
struct Colour {
    Image picture;
    std::optional<PSDLayer> layer;
};

// The change the grade makes to `base`, measured in sRGB for documents in other spaces and
// against the round-tripped base, so that the round trip's own clipping is no change.
Image gradeChange(const Image& base, const SuggestedGrade& grade, double amount, const DetailTransfer& transfer)
{
    if (transfer.documentIsSRGB()) return colourChange(grade.apply(base, amount), base, base.extent());
    const RGBSpace& space = transfer.space();
    const Image inSRGB = space.toSRGB(base).value_or(base);
    const Image graded = space.fromSRGB(grade.apply(inSRGB, amount)).value_or(inSRGB);
    const Image roundTripped = space.fromSRGB(inSRGB).value_or(inSRGB);
    return colourChange(graded, roundTripped, base.extent());
}

Colour coloured(const Image& base, const DevelopInput& outcome, bool alternative, double colour, bool wantLayer)
{
    if (!outcome.looks) return {base, std::nullopt};
    // At or below the threshold the layer is still built, at full strength, and hidden.
    const double amount = colour > colourThreshold && colour < 1.0 ? colour : 1.0;
    const bool worn = colour > colourThreshold;
    if (!wantLayer)
        return {worn ? wearLooks(base, *outcome.looks, alternative, amount, outcome.transfer) : base, std::nullopt};

    const SuggestedGrade& grade = outcome.looks->grade(alternative);
    const Image hold = holdMask(outcome.looks->mask, grade.skinHold, base.extent());
    const Image change = gradeChange(base, grade, amount, outcome.transfer);
    PSDLayer layer{"colour", PSDBlend::linearLight, 1.0, worn, colourLayer(change), hold, 255};
    return {worn ? wearColour(base, change, hold) : base, std::move(layer)};
}

struct Grained {
    Image picture;
    std::optional<PSDLayer> layer;
};

Grained grained(const Image& picture, const DevelopInput& outcome, bool grainOn)
{
    if (outcome.grainBaked || !outcome.grainLevel) return {picture, std::nullopt};
    const auto grain = Grain::image(*outcome.grainLevel, outcome.jobId, picture.extent());
    if (!grain) return {picture, std::nullopt};
    return {grainOn ? Grain::apply(*grain, picture) : picture,
            PSDLayer{"grain", PSDBlend::overlay, 1.0, grainOn, *grain, std::nullopt, 255}};
}

// The four layers of the detail transfer, when the plan gives all their images.
std::optional<std::vector<PSDLayer>> transferLayers(const TransferPlan& plan, double strength)
{
    const auto light = DetailTransfer::lightLayer(plan);
    const auto smooth = DetailTransfer::smoothMask(plan);
    const auto soft = DetailTransfer::softMask(plan);
    const auto invertedSoft = DetailTransfer::invertedSoftMask(plan);
    if (!light || !smooth || !soft || !invertedSoft) return std::nullopt;
    return std::vector<PSDLayer>{
        {"original", PSDBlend::normal, 1.0, true, plan.src, std::nullopt, 255},
        {"smooth", PSDBlend::normal, 1.0, true, plan.originalLow, *smooth, 255},
        {"light (moved)", PSDBlend::linearLight, 1.0, true, *light, *invertedSoft, 255},
        {"light", PSDBlend::linearLight, strength, true, *light, *soft, 255},
    };
}

std::optional<std::string> withNote(std::optional<std::string> note, const std::string& more)
{
    return note ? *note + " · " + more : more;
}

// The picture in the output colour, and the space its file is tagged with.
struct Output {
    Image picture;
    ColourSpace colourSpace;
};

Output outputColour(Image working, const SourceImage& source, const DevelopInput& outcome, const ExportOptions& options)
{
    if (options.colour == ExportColour::embedded) return {std::move(working), source.colorSpace};
    if (outcome.transfer.documentIsSRGB()) return {std::move(working), ColourSpace::sRGB()};
    auto inSRGB = outcome.transfer.space().toSRGB(working);
    return {inSRGB ? std::move(*inSRGB) : std::move(working), ColourSpace::sRGB()};
}

FlatWriteOriginal flatOriginal(const SourceImage& source, ExportFormat format)
{
    FlatWriteOriginal original;
    original.metadata = source.properties;
    original.dpi = source.dpi;
    original.hasGainMap = source.hasGainMap();
    if (original.hasGainMap && carriesGainMap(format)) {
        original.gainMapFile = source.gainMapFile();
    }
    return original;
}

// What every export of one call shares.
struct Job {
    const SourceImage& source;
    const DevelopInput& outcome;
    const fs::path& destination;
    const ExportOptions& options;
    const ExportProgress& progress;
    const FlatWriteServices& services;
};

ExportResult<ExportReport> writeLayered(const Job& job, const std::vector<PSDLayer>& layers, const Image& working,
                                        int64_t width, int64_t height, std::optional<std::string> note)
{
    PSDWriter writer;
    writer.width = width;
    writer.height = height;
    writer.colorSpace = job.source.colorSpace;
    if (!job.source.colorSpace.icc.empty()) writer.iccProfile = job.source.colorSpace.icc;
    writer.dpi = job.source.dpi;
    writer.context = &job.outcome.transfer.context();
    writer.bandRows = 128;
    writer.beforeReplacing = job.services.beforeReplacing;
    const ExportProgress& progress = job.progress;
    const auto error = writer.write(layers, job.destination, working, job.options.format == ExportFormat::tiff,
                                    [&progress](double p) { report(progress, progressAfterPlanning + 0.9 * p); });
    if (error) return ExportFailure{*error};
    if (job.options.colour == ExportColour::sRGB && !isSRGB(job.source.colorSpace))
        note = withNote(note, layersKeepProfileNote);
    report(job.progress, 1.0);
    return ExportReport{job.destination, job.options.format, true, false, "n/a", width, height, note};
}

ExportResult<ExportReport> writeFlatReport(const Job& job, Output output, int64_t width, int64_t height,
                                           std::optional<std::string> note, bool layersFellBack)
{
    const auto written =
        writeFlat(std::move(output.picture), flatOriginal(job.source, job.options.format), job.destination, job.options,
                  output.colourSpace, job.outcome.transfer.context(), job.services);
    if (const auto* failure = std::get_if<ExportFailure>(&written)) return *failure;
    const auto& result = std::get<FlatWriteResult>(written);
    if (layersFellBack)
        return ExportReport{job.destination, job.options.format, false, false, "n/a", width, height, note};
    report(job.progress, 1.0);
    return ExportReport{job.destination, job.options.format, false, result.hdr, result.hdrWhy, width, height, note};
}

// The finished picture in the document space, with its layers when they are wanted and can be
// built. Everything else made on the way (the plan, the intermediate recipes) goes when it is
// returned, so that a flat write holds only the recipe of the picture it renders.
struct Developed {
    Image working;
    std::optional<std::vector<PSDLayer>> layers;
    std::optional<std::string> note;
};

void addColourAndGrainLayers(std::vector<PSDLayer>& layers, const Colour& colour, const Grained& grain)
{
    if (colour.layer) layers.push_back(*colour.layer);
    if (grain.layer) layers.push_back(*grain.layer);
}

Developed developTransferred(const Job& job, const DevelopSettings& settings, bool wantLayers)
{
    const Base base = transferredBase(job.source, job.outcome, settings.strength);
    report(job.progress, progressAfterPlanning);
    const Colour colourStep = coloured(base.picture, job.outcome, settings.alternative, settings.colour, wantLayers);
    const Grained grain = grained(colourStep.picture, job.outcome, settings.grain);
    Developed developed{grain.picture, std::nullopt, base.note};
    if (wantLayers && base.plan) {
        developed.layers = transferLayers(*base.plan, base.strength);
        if (developed.layers) addColourAndGrainLayers(*developed.layers, colourStep, grain);
    }
    return developed;
}

// A colour-only result wears its grade on the original itself; there is no plan to wait for.
Developed developColourOnly(const Job& job, const DevelopSettings& settings, bool wantLayers)
{
    const Colour colourStep =
        coloured(job.source.image, job.outcome, settings.alternative, settings.colour, wantLayers);
    const Grained grain = grained(colourStep.picture, job.outcome, settings.grain);
    report(job.progress, progressAfterPlanning);
    Developed developed{grain.picture, std::nullopt, std::nullopt};
    if (wantLayers) {
        developed.layers =
            std::vector<PSDLayer>{{"original", PSDBlend::normal, 1.0, true, job.source.image, std::nullopt, 255}};
        addColourAndGrainLayers(*developed.layers, colourStep, grain);
    }
    return developed;
}

} // namespace

ExportResult<ExportReport> exportPicture(const SourceImage& source, const DevelopInput& outcome,
                                         const DevelopSettings& settings, const fs::path& destination,
                                         const ExportOptions& options, const ExportProgress& progress,
                                         const FlatWriteServices& services)
{
    const Job job{source, outcome, destination, options, progress, services};
    const bool layers = writesLayers(options);
    Developed developed =
        outcome.colourOnly ? developColourOnly(job, settings, layers) : developTransferred(job, settings, layers);
    const Rect extent = developed.working.extent();
    const int64_t width = roundedSide(extent.width), height = roundedSide(extent.height);
    if (developed.layers) return writeLayered(job, *developed.layers, developed.working, width, height, developed.note);

    // Layers were wanted but the transfer gave none: a flat file stands in for them.
    if (layers && !developed.note) developed.note = "no layers: transfer declined";
    Output output = outputColour(std::move(developed.working), source, outcome, options);
    return writeFlatReport(job, std::move(output), width, height, developed.note, layers);
}

} // namespace oxel
