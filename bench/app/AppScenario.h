#pragma once

// The real program through a batch of many photographs: the `Application` that `main` builds, on
// Qt's offscreen platform, with a home and XDG folders of its own and the local backend (instant)
// in this process with an account signed in. The benchmarks and the scale check share it.

#include "InProcessBackend.h"
#include "imaging/Bitmap.h"
#include "imaging/PictureHandle.h"
#include "platform/Uuid.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace oxel {
class AppModel;
class Application;
class TileGrid;
class TileView;
} // namespace oxel

namespace oxel::bench {

// One per process: the environment is read once by Qt and by the settings.
class AppProfile {
public:
    // `photographs` hard links to a few copies of the engine benchmark's photograph, made at
    // `width` x `height` (turned upright by its EXIF orientation), in one folder.
    AppProfile(const std::string& name, int photographs, int width, int height);

    const std::filesystem::path& photographs() const { return photographs_; }
    int count() const { return count_; }

private:
    InProcessBackend backend_;
    std::filesystem::path photographs_;
    int count_;
};

// The running program, its window shown at a laptop's size and its model launched.
class AppRun {
public:
    AppRun();
    // Ends the program without a question, as the session's end does: nobody answers one on the
    // offscreen platform, and pictures not processed yet go with the run.
    ~AppRun();
    AppRun(const AppRun&) = delete;
    AppRun& operator=(const AppRun&) = delete;

    Application& application() { return *application_; }
    // Sizes the window's content, as the photographer's screen would.
    void resizeContent(int width, int height);
    AppModel& model();

    // Runs the event loop until `done` holds or `limit` passes; whether it held.
    bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // Runs the event loop, untouched, for `span`; the main thread's CPU time meanwhile as a
    // percentage of one core.
    double idleMainThreadPercent(std::chrono::milliseconds span);

    // Drops the folder on the window; true once every photograph is in the batch with its thumbnail.
    bool addAll(const AppProfile& profile, std::chrono::seconds limit);
    // Develops the batch; true once every photograph has its result and its preview.
    bool developAll(std::chrono::seconds limit);
    // Opens the batch from the library; true once every result is rebuilt.
    bool reopen(const Uuid& batch, std::chrono::seconds limit);
    bool allRestored() const;
    // The results grid while the window shows one; null otherwise.
    TileGrid* grid();
    // The scroll positions that step through the grid a screen at a time, from the top to the end.
    std::vector<int> screenSteps();
    void scrollTo(int position);
    // The tiles whose picture block lies in view, and how many of them draw no picture at all.
    std::vector<TileView*> tilesInView();
    int blankTilesInView();
    // The tiles in view of developed pictures that show an original: the original's preview, or
    // a thumbnail that is not the developed one.
    int originalTilesInView();
    // The tiles in view of developed pictures that do not show the preview of the settings as they
    // stand: their item waits for a render or renders, or the tile draws another picture.
    int tilesBehindInView();
    // Steps through `positions`, resting `dwell` at each and then waiting up to `patience` for
    // every tile in view to draw; the tiles in view that draw no picture then, summed.
    int blankTilesAlong(const std::vector<int>& positions, std::chrono::seconds dwell,
                        std::chrono::seconds patience = {});
    // As `blankTilesAlong`, also summing the tiles that show an original then, and those behind the
    // settings as they stand.
    struct TilesSeen {
        int blank = 0;
        int original = 0;
        int behind = 0;
    };
    // `atEachStep` runs once a step's tiles are counted, before the next step.
    TilesSeen tilesAlong(const std::vector<int>& positions, std::chrono::seconds dwell,
                         std::chrono::seconds patience = {}, const std::function<void()>& atEachStep = {});
    // A picture as a view was handed it: a handle into the shared picture cache, or a bitmap it holds.
    struct HandedPicture {
        PictureHandle handle;
        Bitmap bitmap;
        bool sameAs(const HandedPicture& other) const;
    };
    // Every picture the items of the batch and their tiles hold now, whatever they show.
    std::vector<HandedPicture> picturesHeld();
    // As `tilesAlong`, the program then left to rest at each step: the tiles in view that
    // `dwell` after their step show one of `olderLight`, and those that paint another picture
    // once the program rests. `replaceableOnce`, when given, holds the pictures the batch opened
    // with: each may give way to another once, counted apart and taken out.
    struct TilesAtRest {
        TilesSeen seen;
        int olderLight = 0;
        int changedAtRest = 0;
        int openedPicturesReplaced = 0;
    };
    TilesAtRest tilesAtRestAlong(const std::vector<int>& positions, std::chrono::seconds dwell,
                                 std::map<Uuid, PictureHandle>* replaceableOnce,
                                 const std::vector<HandedPicture>& olderLight = {});
    // The seconds until the start of the first quarter second in which every thread of the process
    // together uses under 5 % of a core; none within `limit`.
    std::optional<double> secondsUntilAtRest(std::chrono::seconds limit);
    // Opens the batch, and once its first screen draws, drags to the end and comes back up a screen
    // at a time while the results come back, as `blankTilesAlong`; none when nothing drew in `limit`.
    std::optional<int> reopenScrolled(const Uuid& batch, std::chrono::seconds dwell, std::chrono::seconds patience,
                                      std::chrono::seconds limit);
    // Whether the previews wait for no render.
    bool previewsSettled();

    // Quits as the menu does and lets the program go, as `main` does when the loop ends; the
    // time from the request until the application is gone.
    std::chrono::duration<double> quit();

private:
    int argc_ = 1;
    char name_[9] = "oxel-pro";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<Application> application_;
};

// Whether the tile paints its item's preview, or the copy of it made for the tiles, which a tile
// shows in its place.
bool showsPreview(TileView& tile);

// Resident memory now and at its peak since the last reset, in gigabytes.
double residentGB();
double residentPeakGB();
// Hands freed memory back and starts a new peak.
void startResidentPeak();

} // namespace oxel::bench
