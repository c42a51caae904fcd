#pragma once

#include <array>
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
    // asking. Photographs that arrive while a question is up are counted before the answer is taken:
    // when more would go than the question said, it is asked again.
    bool requestQuit();
    // The session's save request before a log-out: asks and saves as a quit does, but the session,
    // not the program, ends it, and may still cancel the log-out. A "quit" answered here lets the
    // windows go only when `sessionEnds()` follows; any other request asks again.
    bool requestSessionEnd();
    // The application is being ended from outside (the session's end after its save request).
    void sessionEnds()
    {
        if (decision_ == Decision::sessionMayEnd) decision_ = Decision::quitting;
    }
    // For the session's end without interaction and for termination signals: no questions.
    // Once it has run, the closing windows' own requests to quit are let through unasked.
    void quitWithoutAsking()
    {
        environment_.saveAndDrain();
        decision_ = Decision::quitting;
    }

    // Pictures being developed, and those waiting their turn after them.
    static QuitAlert developingAlert(int count, bool batchStored, int waiting = 0);
    static QuitAlert waitingAlert(int count);
    static QuitAlert unsavedAlert(int count);
    static QuitAlert unsavedChangesAlert();
    static QuitAlert unprocessedAlert(int count);
    static QuitAlert exportingAlert(int count);

private:
    // What a quit would drop of one kind, and the question that says so.
    struct Question {
        int dropped;
        QuitAlert alert;
    };
    static constexpr size_t kinds = 5;

    enum class Decision { none, sessionMayEnd, quitting };
    enum Answer : size_t { keepGoing, quit };

    // Asks until the person has agreed to drop all that quitting now would; then saves.
    bool askedAndSaved();
    bool confirmed();
    // The questions quitting now would ask, in their order.
    std::array<Question, kinds> questions() const;
    // Asks; true when the person chose to quit.
    bool quitAnyway(const QuitAlert& alert);

    Environment environment_;
    bool asking_ = false;
    Decision decision_ = Decision::none;
};

} // namespace oxel
