#pragma once

#include "async/Task.h"
#include "async/TimeSource.h"
#include "async/WorkPool.h"
#include "backend/AuthService.h"
#include "backend/HttpSession.h"
#include "library/LibraryStore.h"
#include "ondevice/LanguageModel.h"
#include "platform/SettingsStore.h"
#include "platform/Volumes.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace oxel {

// An open panel as the model asks for it.
struct OpenPanel {
    std::string message;
    bool allowsMultipleSelection = true;
    bool canChooseDirectories = false;
    std::vector<std::string> extensions{};
    std::string prompt{}; // the confirm button's text; the dialog's own when empty
};

// An alert with its buttons, in the order they are offered. `safeAnswer` is the index of the button
// that changes nothing: it is the default, Return and Escape press it, and an alert closed any other
// way answers it. Each alert names it, so reordering the buttons never turns Escape into "remove".
struct Alert {
    Alert(std::string message, std::string information, std::vector<std::string> buttons, size_t safeAnswer)
        : message(std::move(message)),
          information(std::move(information)),
          buttons(std::move(buttons)),
          safeAnswer(safeAnswer)
    {}

    std::string message;
    std::string information;
    std::vector<std::string> buttons;
    size_t safeAnswer;
};

// The dialogs the model asks the window to show. Each answers later; the model goes on when the
// answer comes.
class ModelPanels {
public:
    virtual ~ModelPanels() = default;
    // The chosen files; none when the panel was cancelled.
    virtual Task<std::optional<std::vector<std::filesystem::path>>> choose(OpenPanel panel) = 0;
    // The index of the chosen button; the alert's safe answer when it was dismissed.
    virtual Task<int> ask(Alert alert) = 0;
};

// What the model asks of the application itself.
class AppControl {
public:
    virtual ~AppControl() = default;
    virtual void comeToFront() = 0;
    virtual void requestQuit() = 0;
};

// Everything the model works with instead of reaching for it; the model hands on what its parts
// and its job runner need.
struct ModelServices {
    SettingsStore& settings;
    LibraryStore& library;
    const TimeSource& clock; // the model's and its job runner's
    AuthService::Environment auth;
    WorkPool& pool; // every piece of the model's work off the main thread, the job runner's included
    // The configuration and suggestions fetches; the account's requests go through the backend's
    // own session.
    const HttpSession& http;
    std::function<bool(const std::string& url)> openURL;
    ModelPanels& panels;
    AppControl& control;
    LanguageModel& languageModel;
    std::filesystem::path originalsCache;
    // The mounted file systems where originals are looked for.
    std::function<Volumes()> volumes = [] { return Volumes::current(); };
};

} // namespace oxel
