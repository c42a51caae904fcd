#pragma once

#include "app/QuitGuard.h"
#include "async/TaskScope.h"

namespace oxel {

class ModelPanels;

// The quit guard's alerts through the model's alert port, so they look and answer as every other
// alert of the program does. Quitting waits for the answer: the event loop runs on meanwhile
// (clocks, previews, a second quit request, which the guard drops).
class PanelQuitAlerts final : public QuitAlerts {
public:
    explicit PanelQuitAlerts(ModelPanels& panels) : panels_(panels) {}
    size_t run(const QuitAlert& alert) override;

private:
    ModelPanels& panels_;
    TaskScope scope_;
};

} // namespace oxel
