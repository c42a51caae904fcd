#pragma once

#include "model/ModelServices.h"

class QWidget;

namespace oxel {

// The model's panels and alerts as window-modal dialogs over the window: each answers when the
// person does, and the event loop runs on meanwhile.
class QtModelPanels final : public ModelPanels {
public:
    explicit QtModelPanels(QWidget* window) : window_(window) {}

    Task<std::optional<std::vector<std::filesystem::path>>> choose(OpenPanel panel) override;
    Task<int> ask(Alert alert) override;

private:
    QWidget* window_;
};

} // namespace oxel
