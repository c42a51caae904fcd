#include "app/QuitGuard.h"

#include "model/AppModel.h"

namespace oxel {
namespace {

std::string them(int count)
{
    return count == 1 ? "it" : "them";
}

} // namespace

Unfinished Unfinished::of(const AppModel& model)
{
    const int waiting = model.waitingCount();
    return {waiting, model.inFlightCount() - waiting, model.unsavedResultCount(), model.unprocessedCount(),
            model.saving().unsaved()};
}

QuitAlert QuitGuard::developingAlert(int count, bool batchStored, int waiting)
{
    std::string informative =
        batchStored ? "they carry on without oxel pro and are collected when you reopen this batch, within a day."
                    : "quitting now abandons them. the shots are not spent until the results are collected.";
    // Appended piece by piece, which GCC 12 does not take for an overlapping copy.
    if (waiting >= 1)
        informative.append(" ")
            .append(std::to_string(waiting))
            .append(waiting == 1 ? " more waiting its turn is" : " more waiting their turn are")
            .append(" not sent: process ")
            .append(them(waiting))
            .append(" again when you reopen this batch.");
    return {
        std::to_string(count) + " still developing", std::move(informative), {"keep developing", "quit"}, keepGoing};
}

QuitAlert QuitGuard::waitingAlert(int count)
{
    return {std::to_string(count) + " still waiting",
            std::string(count == 1 ? "it was" : "they were") +
                " not sent yet, so no shot is spent. quitting now stops " + them(count) + "; process " + them(count) +
                " again when you reopen this batch.",
            {"keep developing", "quit"},
            keepGoing};
}

QuitAlert QuitGuard::unsavedAlert(int count)
{
    return {std::to_string(count) + (count == 1 ? " result" : " results") + " not in the library yet",
            "the library can't take " + them(count) + " now. kept open, oxel pro saves " + them(count) +
                " as soon as it can; quitting now lets " + them(count) + " go.",
            {"keep open", "quit"},
            keepGoing};
}

QuitAlert QuitGuard::unsavedChangesAlert()
{
    return {"changes not in the library yet",
            "the library can't take the latest changes now. kept open, oxel pro saves them as soon as it can; "
            "quitting now lets them go.",
            {"keep open", "quit"},
            keepGoing};
}

QuitAlert QuitGuard::unprocessedAlert(int count)
{
    Alert question = AppModel::unprocessedQuestion(count, "quitting", "keep open", "quit");
    return {std::move(question.message), std::move(question.information), std::move(question.buttons), keepGoing};
}

QuitAlert QuitGuard::exportingAlert(int count)
{
    return {std::to_string(count) + " still exporting",
            std::string("quitting now leaves ") + (count == 1 ? "the file" : "the files") + " unwritten.",
            {"keep exporting", "quit"},
            keepGoing};
}

bool QuitGuard::requestQuit()
{
    if (!askedAndSaved()) return false;
    // The quit closes the window, whose own request to quit is let through unasked.
    decision_ = Decision::quitting;
    return true;
}

bool QuitGuard::requestSessionEnd()
{
    if (!askedAndSaved()) return false;
    if (decision_ == Decision::none) decision_ = Decision::sessionMayEnd;
    return true;
}

bool QuitGuard::askedAndSaved()
{
    // A termination signal ends the program whatever question is up.
    if (decision_ == Decision::quitting) return true;
    // A request made while an alert is up (a second ctrl+q, the close button) is dropped: the
    // alert already answers it.
    if (asking_) return false;
    // An earlier answer to the session held for its log-out alone, which did not come.
    decision_ = Decision::none;
    asking_ = true;
    bool quitting = confirmed();
    asking_ = false;
    if (decision_ == Decision::quitting) return true;
    if (!quitting) return false;
    environment_.saveAndDrain();
    return true;
}

std::array<QuitGuard::Question, QuitGuard::kinds> QuitGuard::questions() const
{
    const Unfinished left = environment_.unfinished();
    const int exporting = environment_.exportsPending();
    const QuitAlert inFlight = left.developing >= 1
                                   ? developingAlert(left.developing, environment_.batchStored(), left.waiting)
                                   : waitingAlert(left.waiting);
    // Unsaved results take their settings with them: that question already says so.
    const bool changesAlone = left.unsaved == 0 && left.changesUnsaved;
    return {{{left.developing + left.waiting, inFlight},
             {left.unsaved, unsavedAlert(left.unsaved)},
             {int(changesAlone), unsavedChangesAlert()},
             {left.unprocessed, unprocessedAlert(left.unprocessed)},
             {exporting, exportingAlert(exporting)}}};
}

bool QuitGuard::confirmed()
{
    // Counted afresh before each question: photographs handed over while one is up join the
    // batch, and quitting would drop them too.
    std::array<int, kinds> agreed{};
    while (decision_ != Decision::quitting) {
        const auto asked = questions();
        size_t kind = 0;
        while (kind < kinds && asked[kind].dropped <= agreed[kind]) ++kind;
        if (kind == kinds) return true;
        if (!quitAnyway(asked[kind].alert)) return false;
        agreed[kind] = asked[kind].dropped;
    }
    return true;
}

bool QuitGuard::quitAnyway(const QuitAlert& alert)
{
    return environment_.alerts->run(alert) == quit;
}

} // namespace oxel
