#include "sheets/TileMenuEntries.h"

namespace oxel {
namespace {

bool showsColourOnlyGroup(const BatchItem& item)
{
    return item.result() && item.result()->colourOnly && item.source() && !item.phase().isInFlight();
}

} // namespace

std::vector<TileMenuEntry> tileMenuEntries(const BatchItem& item, const TileMenuModelFacts& model)
{
    std::vector<TileMenuEntry> entries;
    if (item.availability().kind == Availability::Kind::present)
        entries.push_back({TileCommand::showInFolder, "show in folder"});
    else
        entries.push_back({TileCommand::locateOriginal, "locate the original…"});
    if (item.result() && item.source()) entries.push_back({TileCommand::exportOne, "export this one…"});
    if (showsColourOnlyGroup(item)) {
        if (model.colourOnlyModelReady) entries.push_back({TileCommand::retryColourOnly, "retry (free)"});
        entries.emplace_back(TileCommand::developWithLight, "develop it with colour and light");
    }
    const bool inFlight = item.phase().isInFlight();
    if (model.reportTarget)
        entries.push_back(
            {TileCommand::report, model.reporting ? "sending…" : "report this output", !model.reporting && !inFlight});
    entries.push_back({TileCommand::remove, "remove from the batch", !inFlight});
    return entries;
}

} // namespace oxel
