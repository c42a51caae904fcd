#pragma once

// What the model's benchmarks give it for a window: panels that are cancelled, alerts that take
// their first button, and an application that ignores being brought forward or asked to quit.

#include "model/ModelServices.h"

namespace oxel::bench {

class QuietPanels final : public ModelPanels {
public:
    Task<std::optional<std::vector<std::filesystem::path>>> choose(OpenPanel) override { co_return std::nullopt; }
    Task<int> ask(Alert alert) override { co_return int(alert.safeAnswer); }
};

class QuietControl final : public AppControl {
public:
    void comeToFront() override {}
    void requestQuit() override {}
};

} // namespace oxel::bench
