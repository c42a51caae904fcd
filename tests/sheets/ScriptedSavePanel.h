#pragma once

#include "sheets/SingleExport.h"

#include <string>
#include <utility>
#include <vector>

namespace oxel::testing {

// A save panel that holds its question until the test answers it, as a modal panel would.
struct ScriptedSavePanel : SavePanelPort {
    std::vector<std::string> proposed;
    Answer pending;

    void chooseExportFile(const std::string& proposedName, Answer answer) override
    {
        proposed.push_back(proposedName);
        pending = std::move(answer);
    }
    void answer(std::optional<std::filesystem::path> file) { std::exchange(pending, nullptr)(std::move(file)); }
};

} // namespace oxel::testing
