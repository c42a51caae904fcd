#include "app/QuitGuard.h"

namespace oxel {

QuitAlert QuitGuard::developingAlert(int count, bool batchStored)
{
    return {std::to_string(count) + " still developing",
            batchStored ? "they carry on without oxel pro and are collected when you reopen this batch, within a day."
                        : "quitting now abandons them. the shots are not spent until the results are collected.",
            {"keep developing", "quit"},
            keepGoing};
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
    // A request made while an alert is up (a second ctrl+q, the close button) is dropped: the
    // alert already answers it.
    if (asking_) return false;
    asking_ = true;
    bool quitting = confirmed();
    asking_ = false;
    if (quitting) environment_.saveAndDrain();
    return quitting;
}

bool QuitGuard::confirmed()
{
    if (int developing = environment_.inFlightCount(); developing >= 1) {
        if (environment_.alerts->run(developingAlert(developing, environment_.batchStored())) != quit) return false;
    }
    if (int exporting = environment_.exportsPending(); exporting >= 1) {
        if (environment_.alerts->run(exportingAlert(exporting)) != quit) return false;
    }
    return true;
}

} // namespace oxel
