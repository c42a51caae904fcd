#pragma once

#include <functional>
#include <string>
#include <vector>

namespace oxel {

class AppModel;

// A question the quit guard asks, with its buttons in order. `safeAnswer` is the button that keeps
// going: the default, and the answer of Escape and of closing the alert.
struct QuitAlert {
    std::string message;
    std::string informative;
    std::vector<std::string> buttons;
    size_t safeAnswer;

    bool operator==(const QuitAlert&) const = default;
};

// Runs a modal alert and gives the index of the button chosen, or the safe answer when dismissed.
class QuitAlerts {
public:
    virtual ~QuitAlerts() = default;
    virtual size_t run(const QuitAlert& alert) = 0;
};

// What quitting now would leave unfinished, each kind counted apart.
struct Unfinished {
    int waiting = 0;    // queued for a job slot, not sent
    int developing = 0; // being sent, developed or collected
    int unsaved = 0;    // results the library could not take yet
    // Pictures not processed yet: only processing keeps them, and their nudges, in the library.
    int unprocessed = 0;
    // Settings the library refused to write (a full or read-only disk), kept only in the window.
    bool changesUnsaved = false;

    static Unfinished of(const AppModel& model);
    bool operator==(const Unfinished&) const = default;
};

// Stands between every way of quitting and the end of the process: asks before abandoning
// pictures still developing, waiting their turn or not processed yet, results not in the library
// yet or exports
// still being written, then saves and waits for the saves to reach the disk.
class QuitGuard {
public:
    struct Environment {
        std::function<Unfinished()> unfinished;
        std::function<bool()> batchStored;
        std::function<int()> exportsPending;
        // Saves the batch and waits until the library's queued writes are on disk.
        std::function<void()> saveAndDrain;
        QuitAlerts* alerts;
    };

    explicit QuitGuard(Environment environment) : environment_(std::move(environment)) {}

    // True once saved and the process may end, and for every request after that (the closing
    // window's own); false when the person chose to keep going, or when another request is already
    // asking.
    bool requestQuit();
    // For the session's end without interaction and for termination signals: no questions.
    // Once it has run, the closing windows' own requests to quit are let through unasked.
    void quitWithoutAsking()
    {
        environment_.saveAndDrain();
        decided_ = true;
    }

    // Pictures being developed, and those waiting their turn after them.
    static QuitAlert developingAlert(int count, bool batchStored, int waiting = 0);
    static QuitAlert waitingAlert(int count);
    static QuitAlert unsavedAlert(int count);
    static QuitAlert unsavedChangesAlert();
    static QuitAlert unprocessedAlert(int count);
    static QuitAlert exportingAlert(int count);

private:
    bool confirmed();
    // Asks; true when the person chose to quit.
    bool quitAnyway(const QuitAlert& alert);

    enum Answer : size_t { keepGoing, quit };

    Environment environment_;
    bool asking_ = false;
    bool decided_ = false;
};

} // namespace oxel
