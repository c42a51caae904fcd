#pragma once

#include "async/ManualLoop.h"
#include "async/WorkPool.h"
#include "library/LibraryStore.h"
#include "localbackend/LocalBackend.h"
#include "model/AppModel.h"
#include "ondevice/NoLanguageModel.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace oxel::testing {

// Open panels and alerts answered from a script, first answer first; an unscripted panel is
// cancelled and an unscripted alert takes its safe answer.
class ScriptedPanels final : public ModelPanels {
public:
    Task<std::optional<std::vector<std::filesystem::path>>> choose(OpenPanel panel) override;
    Task<int> ask(Alert alert) override;

    std::deque<std::optional<std::vector<std::filesystem::path>>> choices;
    std::deque<int> answers;
    std::vector<OpenPanel> panelsShown;
    std::vector<Alert> alertsShown;
};

class RecordingControl final : public AppControl {
public:
    void comeToFront() override { ++frontRequests; }
    void requestQuit() override { ++quitRequests; }
    int frontRequests = 0;
    int quitRequests = 0;
};

// An application model on a virtual clock, against a local backend of its own whose clock is the
// same, with a signed-in account and user defaults that start empty in a private folder.
class ModelTest : public ::testing::Test {
public:
    ModelTest();
    ~ModelTest() override;

    // Makes the model (again) from the user defaults as they now stand, on `store` when given.
    AppModel& makeModel(LibraryStore* store = nullptr);
    SettingsStore& defaults();
    bool runUntil(const std::function<bool()>& done) { return loop.runUntil(done); }
    // Runs the loop until `done` holds, else fails the test and stops it there: for helpers whose
    // callers go on to use what they waited for.
    void runUntilOrStop(const std::function<bool()>& done, const std::string& what);
    // Runs a task of the model to its end.
    void await(Task<void> task);
    std::vector<local::ReceivedRequest> requestsTo(const std::string& path) const;
    // How many jobs were submitted to the backend.
    size_t submissions() const;
    void signOut();
    // A real JPEG (with an sRGB profile) or a PNG without a profile, written under the test folder.
    std::filesystem::path writeJPEG(const std::filesystem::path& name, int width = 300, int height = 200);
    std::filesystem::path writePNG(const std::filesystem::path& name, int width = 300, int height = 200);
    // Drops the files and runs the loop until every import has been handled.
    void drop(const std::vector<std::filesystem::path>& files);
    void runImports();
    std::filesystem::path imageFolder(const BatchItem& item) const;

    ManualLoop loop;
    local::LocalBackend backend;
    local::Account account;
    WorkPool pool{4};
    ScriptedPanels panels;
    // The panels and alerts the next `makeModel()` is given.
    ModelPanels* panelPort = &panels;
    RecordingControl control;
    std::vector<std::string> openedURLs;
    NoLanguageModel languageModel;
    // The language model the next `makeModel()` is given.
    LanguageModel* localModel = &languageModel;
    TemporaryFolder folder;
    LibraryStore library;
    std::unique_ptr<AppModel> model;
};

} // namespace oxel::testing
