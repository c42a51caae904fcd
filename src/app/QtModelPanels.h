#pragma once

#include "model/ModelServices.h"

class QWidget;

namespace oxel {

// The model's panels and alerts as window-modal dialogs over the window, or over the sheet open on
// it, which has the keys back once they close: each answers when the person does, and the event
// loop runs on meanwhile.
class QtModelPanels final : public ModelPanels {
public:
    explicit QtModelPanels(QWidget* window) : window_(window) {}

    Task<std::optional<std::vector<std::filesystem::path>>> choose(OpenPanel panel) override;
    Task<int> ask(Alert alert) override;

private:
    // The window's topmost modal dialog, else the window.
    QWidget* front() const;

    QWidget* window_;
};

} // namespace oxel
