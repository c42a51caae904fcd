#include "sheets/SetupGuide.h"

#include <QCoreApplication>

namespace oxel {

std::vector<std::string> setupSteps(HandoffApp app, const std::filesystem::path& launcher)
{
    switch (app) {
    case HandoffApp::shotwell:
        return {
            "once: open shotwell's preferences and, under external editors, choose oxel pro for shotwell as the "
            "external photo editor (not as the raw editor).",
            "then, any time: select one photograph and choose open with external editor.",
            "shotwell hands oxel pro an editable copy, saved beside your original with _modified in its name, and "
            "keeps the original as it is. a raw photograph arrives as a full-size jpeg copy.",
            "process it, adjust, then click send back. oxel pro writes the result over that copy in the same format, "
            "and shotwell shows it. revert external edits drops it any time.",
        };
    case HandoffApp::darktable:
        return {
            "once: install darktable's lua scripts and switch on ext_editor in the script manager.",
            "in preferences > lua options, name an external editor oxel pro and set its executable to " +
                launcher.string() + ".",
            "to hand over a copy, export the photographs to the storage collection as tiff, 16 bit; darktable groups "
            "each tiff with its original. then select one tiff and, in the external editors module, choose oxel pro "
            "and click edit.",
            "process it, adjust, then click send back. oxel pro writes over the tiff, and darktable reads it back "
            "once oxel pro lets it go.",
        };
    case HandoffApp::other: break;
    }
    return {
        "any photo application that can run a command on a file can hand it over: set the command to "
        "oxel-pro --handoff=<its name> followed by the file.",
        "send back writes over the very file it is handed, so hand over a copy, never an original.",
        "add --wait when the application waits for its editor to finish before it reads the file back.",
    };
}

std::string setupFootnote(HandoffApp app)
{
    switch (app) {
    case HandoffApp::shotwell:
        return "a jpeg or png copy cannot carry layers, so shotwell gets the result flat. a tiff copy keeps the layers "
               "inside; for them elsewhere, export a psd as well.";
    case HandoffApp::darktable:
        return "only the file handed over is written, never your raw file. the layers inside the tiff come alive in a "
               "layered editor; darktable shows the result flattened.";
    case HandoffApp::other: break;
    }
    return "files opened any other way, from a file manager, the terminal or the import panel, are never written "
           "over: export them instead.";
}

std::filesystem::path darktableLauncherPath()
{
    return std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "oxel-pro-darktable";
}

} // namespace oxel
