#include "ui/window/MainFacts.h"

#include "model/AppModel.h"

#include <algorithm>

namespace oxel {

MainFacts MainFacts::of(AppModel& model)
{
    MainFacts facts;
    maintexts::StatusFacts& status = facts.status;
    status.statusLine = model.statusLine();
    status.resultsScreen = model.screen() == AppModel::Screen::results;
    status.items = static_cast<int>(model.items().size());
    status.withResult = static_cast<int>(model.itemsWithResult().size());
    const auto toProcess = model.itemsToProcess();
    status.toProcess = static_cast<int>(toProcess.size());
    status.unsent = static_cast<int>(std::count_if(toProcess.begin(), toProcess.end(), [](const auto& item) {
        return !item->phase().template is<phase::Failed>();
    }));
    status.inFlight = model.inFlightCount();
    status.failed = model.failedCount();
    status.colourOnlyInForce = model.colourOnlyInForce();
    status.colourOnlyCandidates = static_cast<int>(model.colourOnlyCandidates().size());
    if (model.balance()) status.balance = model.balance()->balance;
    status.unreachable = model.backendUnreachable();
    facts.sendBack = static_cast<int>(model.sendBackItems().size());
    return facts;
}

} // namespace oxel
