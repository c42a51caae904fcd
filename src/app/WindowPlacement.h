#pragma once

#include <QMargins>
#include <QRect>

#include <optional>
#include <string_view>

namespace oxel {

class SettingsStore;

// Where the window was left: its geometry when neither maximised nor full screen (the content and
// menu bar, without the desktop's frame), whether it was maximised, and the frame the desktop drew
// around it then. Kept in the settings as one small record, so the next start opens the window as
// the photographer left it.
struct WindowPlacement {
    static constexpr std::string_view key = "windowPlacement";
    // Room for the frame of a window whose desktop has not framed it yet: a title bar and borders
    // as large as desktops commonly draw them.
    static constexpr QMargins usualFrame{8, 40, 8, 8};

    QRect normal;
    bool maximised = false;
    QMargins frame;

    // Nothing when no placement is kept or the record is not one.
    static std::optional<WindowPlacement> kept(const SettingsStore& settings);
    void keep(SettingsStore& settings) const;

    // The geometry brought onto `available` (the screen it opens on, without its panels) with its
    // frame: no larger than the screen and no smaller than `minimum`, moved only as far as it must be.
    // A frame that is negative or leaves the screen too small for `minimum` is left out, so the
    // window always meets the screen.
    QRect fittedTo(const QRect& available, const QSize& minimum) const;

private:
    bool leavesRoomOn(const QRect& available, const QSize& minimum) const;
};

} // namespace oxel
