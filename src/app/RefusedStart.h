#pragma once

#include <QString>

#include <cstddef>
#include <memory>

class QMessageBox;

namespace oxel {

class ForwardedStarts;
struct LaunchArguments;

// A start that could not have the library, because another program kept it past the start's
// patience, tells the photographer so where they look: an alert of its own, as the program's only
// window, besides the line on standard error.
class RefusedStart {
public:
    // The photographs a refused start leaves unopened: its own, and those of the starts handed to
    // it meanwhile, which go no further.
    static size_t photographsNotOpened(const LaunchArguments& own, ForwardedStarts& handedOver);
    // "oxel pro is already open on this library", and what became of the start's photographs.
    static QString message(size_t photographs);
    // The alert, not shown yet: its one button answers Return and Escape alike.
    static std::unique_ptr<QMessageBox> alert(size_t photographs);
    // Runs the alert until it is closed, where there is a screen to show it on; the Qt
    // application is made here, as nothing else of the program is.
    static void show(int& argc, char** argv, size_t photographs);
};

} // namespace oxel
