#pragma once

#include "InProcessBackend.h"
#include "async/ManualLoop.h"
#include "async/WorkPool.h"
#include "library/LibraryStore.h"
#include "model/AppModel.h"
#include "model/QuietWindow.h"
#include "ondevice/NoLanguageModel.h"

#include <memory>

namespace oxel::bench {

// The application model as the window holds it, on a loop the benchmark runs by hand, against the
// local backend in this process with a signed-in account; dialogs are never answered.
struct BenchModel {
    explicit BenchModel(const std::string& name)
        : backend(name),
          library(LibraryStore::Environment{backend.folder / "Library",
                                            [](const std::filesystem::path& item) -> std::optional<std::string> {
                                                std::filesystem::remove_all(item);
                                                return std::nullopt;
                                            },
                                            &loop}),
          model(ModelServices{SettingsStore::shared(), library, loop, AuthService::Environment::standard(), pool,
                              HttpSession::shared(), [](const std::string&) { return true; }, panels, control, language,
                              backend.folder / "originals"})
    {}

    InProcessBackend backend;
    ManualLoop loop;
    WorkPool pool{4};
    LibraryStore library;
    QuietPanels panels;
    QuietControl control;
    NoLanguageModel language;
    AppModel model;
};

} // namespace oxel::bench
