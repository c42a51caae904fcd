#pragma once

#include "ui/window/MainTexts.h"

namespace oxel {

class AppModel;

// The counts and switches of the open batch that the bars show, read from the model at once.
struct MainFacts {
    maintexts::StatusFacts status;
    int sendBack = 0;

    static MainFacts of(AppModel& model);
    // What "process N" counts: the colour-only candidates while colour only is in force.
    int processCount() const { return status.colourOnlyInForce ? status.colourOnlyCandidates : status.toProcess; }
};

} // namespace oxel
