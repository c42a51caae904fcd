#include "app/AppScenario.h"

#include "ProcessSeconds.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/WindowPlacement.h"
#include "develop/BenchOriginal.h"
#include "model/AppModel.h"
#include "model/PreviewRenderer.h"
#include "platform/ProcessMemory.h"
#include "platform/SettingsStore.h"
#include "sheets/TileGrid.h"
#include "sheets/TileView.h"
#include "ui/kit/PixelImage.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace oxel::bench {
namespace {

namespace fs = std::filesystem;

constexpr int madeFiles = 4;

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Private folders for everything the program reads and writes, set before Qt or the settings
// first look.
std::string preparedName(const std::string& name)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0); // a platform asked for wins (xcb under Xvfb)
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/oxel-bench-bus", 1);
    return name;
}

// What the view paints now, as a paint of the screen would.
QImage painted(PixelImage& picture)
{
    QImage image(picture.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    picture.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Whether a paint holds any picture: its middle is covered.
bool holdsPicture(const QImage& paint)
{
    return !paint.isNull() && qAlpha(paint.pixel(paint.rect().center())) > 0;
}

bool drawsPicture(PixelImage& picture)
{
    return holdsPicture(painted(picture));
}

PixelImage& tilePicture(TileView& tile)
{
    return *tile.findChild<PixelImage*>();
}

// Two paints of the same picture differ by no more than a rounding.
constexpr int sameLevels = 1;
// How long a step waits for the program to rest before it compares anyway.
constexpr auto restLimit = std::chrono::seconds(60);
// Short enough that a walk resting at each of its steps ends within minutes.
constexpr auto restWindow = std::chrono::milliseconds(250);

// The largest difference of one channel of one pixel between two paints, in levels.
int largestDifference(const QImage& first, const QImage& second)
{
    if (first.size() != second.size()) return 255;
    int largest = 0;
    for (int y = 0; y < first.height(); ++y) {
        const uchar* one = first.constScanLine(y);
        const uchar* other = second.constScanLine(y);
        for (int byte = 0; byte < first.width() * 4; ++byte)
            largest = std::max(largest, std::abs(int(one[byte]) - int(other[byte])));
    }
    return largest;
}

// A tile in view as it painted `dwell` after its step, and the picture it was handed then.
struct EarlyPaint {
    QPointer<TileView> tile;
    QImage paint;
    AppRun::HandedPicture shown;
};

AppRun::HandedPicture handedTo(const PixelImage& view)
{
    return {view.handle(), view.picture()};
}

// Whether `shown` is the picture the batch opened `id` with, which may give way once: taken out if so.
bool givesWayOnce(std::map<Uuid, PictureHandle>* replaceableOnce, const Uuid& id, const PictureHandle& shown)
{
    if (!replaceableOnce) return false;
    const auto opened = replaceableOnce->find(id);
    if (opened == replaceableOnce->end() || opened->second != shown) return false;
    replaceableOnce->erase(opened);
    return true;
}

// Counts a tile that showed an older picture early, or paints another at rest; a blank is counted
// as one already.
void countChangeAtRest(const EarlyPaint& early, const QImage& rested, std::map<Uuid, PictureHandle>* replaceableOnce,
                       const std::vector<AppRun::HandedPicture>& olderLight, AppRun::TilesAtRest& found)
{
    if (!holdsPicture(early.paint)) return;
    if (std::any_of(olderLight.begin(), olderLight.end(), [&](const auto& older) { return older.sameAs(early.shown); }))
        ++found.olderLight;
    else if (largestDifference(early.paint, rested) <= sameLevels)
        return;
    else if (givesWayOnce(replaceableOnce, early.tile->item()->id, early.shown.handle))
        ++found.openedPicturesReplaced;
    else
        ++found.changedAtRest;
}

} // namespace

AppProfile::AppProfile(const std::string& name, int photographs, int width, int height)
    : backend_(preparedName(name)), count_(photographs)
{
    const fs::path home = backend_.folder;
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    fs::create_directories(home / "runtime");
    fs::permissions(home / "runtime", fs::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    photographs_ = home / "photographs";
    fs::create_directories(photographs_);
    const int made = std::min(madeFiles, photographs);
    const auto bytes = photographJPEG(width, height);
    for (int copy = 0; copy < made; ++copy)
        std::ofstream(home / ("made-" + std::to_string(copy) + ".jpg"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    for (int index = 0; index < photographs; ++index)
        fs::create_hard_link(home / ("made-" + std::to_string(index % made) + ".jpg"),
                             photographs_ / ("IMG_" + std::to_string(1000 + index) + ".jpg"));
}

AppRun::AppRun()
{
    // Every run sees the same view, a photographer's, whatever size the program opens at: a
    // placement an earlier run kept is fitted to the offscreen platform's small screen.
    SettingsStore::shared().remove(WindowPlacement::key);
    application_ = std::make_unique<Application>(argc_, argv_, LaunchArguments{}, nullptr, nullptr);
    application_->showWindow();
    resizeContent(1920, 1080);
    // The model launches on the loop's first turn; the sign-in and the first answers follow.
    const auto settled = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    spinUntil([&] { return std::chrono::steady_clock::now() >= settled; }, std::chrono::seconds(5));
}

void AppRun::resizeContent(int width, int height)
{
    application_->window().resizeContent({width, height});
}

AppRun::~AppRun()
{
    if (!application_) return;
    application_->quitWithoutAsking();
    application_.reset();
}

AppModel& AppRun::model()
{
    return application_->model();
}

bool AppRun::spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    // A timer wakes the waiting loop, so the check runs without spinning the processor.
    QTimer wake;
    wake.start(10);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double AppRun::idleMainThreadPercent(std::chrono::milliseconds span)
{
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    const double start = threadSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    loop.exec();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    return 100.0 * (threadSeconds() - start) / wall;
}

bool AppRun::addAll(const AppProfile& profile, std::chrono::seconds limit)
{
    model().addDropped({profile.photographs()});
    return spinUntil(
        [&] {
            const auto& items = model().items();
            return int(items.size()) == profile.count() &&
                   std::all_of(items.begin(), items.end(), [](const auto& item) { return item->thumbnail(); });
        },
        limit);
}

bool AppRun::developAll(std::chrono::seconds limit)
{
    model().process();
    return spinUntil(
        [&] {
            const auto& items = model().items();
            return std::all_of(items.begin(), items.end(),
                               [](const auto& item) {
                                   return item->result() && item->previewImage() && !item->phase().isInFlight();
                               }) &&
                   model().tasks().runningCount() == 0;
        },
        limit);
}

bool AppRun::allRestored() const
{
    const auto& items = application_->model().items();
    return !items.empty() && std::all_of(items.begin(), items.end(), [](const auto& item) {
        return item->result() && item->previewImage() && item->phase().template is<phase::Done>();
    });
}

bool AppRun::reopen(const Uuid& batch, std::chrono::seconds limit)
{
    model().openBatch(batch);
    return spinUntil([&] { return allRestored(); }, limit);
}

TileGrid* AppRun::grid()
{
    return application_->window().findChild<TileGrid*>();
}

std::vector<int> AppRun::screenSteps()
{
    const QScrollBar& bar = *grid()->verticalScrollBar();
    std::vector<int> steps;
    for (int position = 0; position < bar.maximum(); position += bar.pageStep()) steps.push_back(position);
    steps.push_back(bar.maximum());
    return steps;
}

void AppRun::scrollTo(int position)
{
    grid()->verticalScrollBar()->setValue(position);
}

std::vector<TileView*> AppRun::tilesInView()
{
    TileGrid& tiles = *grid();
    const QRect view(QPoint(0, tiles.verticalScrollBar()->value()), tiles.viewport()->size());
    std::vector<TileView*> shown;
    for (auto* tile : tiles.widget()->findChildren<TileView*>(Qt::FindDirectChildrenOnly))
        if (tile->isVisible() && tile->pictureBlockRect().translated(tile->pos()).intersects(view))
            shown.push_back(tile);
    return shown;
}

int AppRun::blankTilesInView()
{
    int blank = 0;
    for (auto* tile : tilesInView())
        if (!drawsPicture(tilePicture(*tile))) ++blank;
    return blank;
}

int AppRun::originalTilesInView()
{
    int original = 0;
    for (auto* tile : tilesInView()) {
        const BatchItem& item = *tile->item();
        const PictureHandle& shown = tilePicture(*tile).handle();
        const bool thumbnail = item.thumbnail() && shown == *item.thumbnail() && shown != item.developedThumbnail();
        if (item.result() && (thumbnail || shown == item.originalPreview())) ++original;
    }
    return original;
}

int AppRun::tilesBehindInView()
{
    const PreviewRenderer& previews = model().previews();
    int behind = 0;
    for (auto* tile : tilesInView()) {
        const Uuid& id = tile->item()->id;
        const bool rendering = previews.inFlight().contains(id);
        if (tile->item()->result() && (previews.wanted().contains(id) || rendering || !showsPreview(*tile))) ++behind;
    }
    return behind;
}

int AppRun::blankTilesAlong(const std::vector<int>& positions, std::chrono::seconds dwell,
                            std::chrono::seconds patience)
{
    return tilesAlong(positions, dwell, patience).blank;
}

AppRun::TilesSeen AppRun::tilesAlong(const std::vector<int>& positions, std::chrono::seconds dwell,
                                     std::chrono::seconds patience, const std::function<void()>& atEachStep)
{
    TilesSeen seen;
    for (const int position : positions) {
        scrollTo(position);
        spinUntil([] { return false; }, dwell);
        spinUntil([&] { return blankTilesInView() == 0; }, patience);
        seen.blank += blankTilesInView();
        seen.original += originalTilesInView();
        seen.behind += tilesBehindInView();
        if (atEachStep) atEachStep();
    }
    return seen;
}

bool AppRun::HandedPicture::sameAs(const HandedPicture& other) const
{
    return handle.isNull() ? !bitmap.isNull() && bitmap.data() == other.bitmap.data() : handle == other.handle;
}

std::vector<AppRun::HandedPicture> AppRun::picturesHeld()
{
    std::vector<HandedPicture> held;
    for (const auto& item : model().items()) {
        for (const auto* picture : {&item->previewImage(), &item->developedThumbnail(), &item->thumbnail()})
            if (*picture) held.push_back({**picture, {}});
        if (item->developedCopy()) held.push_back({item->developedCopy()->counted, {}});
    }
    for (auto* tile : grid()->widget()->findChildren<TileView*>(Qt::FindDirectChildrenOnly))
        held.push_back(handedTo(tilePicture(*tile)));
    return held;
}

AppRun::TilesAtRest AppRun::tilesAtRestAlong(const std::vector<int>& positions, std::chrono::seconds dwell,
                                             std::map<Uuid, PictureHandle>* replaceableOnce,
                                             const std::vector<HandedPicture>& olderLight)
{
    TilesAtRest found;
    const auto compareAtRest = [&] {
        std::vector<EarlyPaint> early;
        for (auto* tile : tilesInView())
            early.push_back({tile, painted(tilePicture(*tile)), handedTo(tilePicture(*tile))});
        secondsUntilAtRest(restLimit);
        for (const EarlyPaint& paint : early)
            if (paint.tile)
                countChangeAtRest(paint, painted(tilePicture(*paint.tile)), replaceableOnce, olderLight, found);
    };
    found.seen = tilesAlong(positions, dwell, {}, compareAtRest);
    return found;
}

std::optional<double> AppRun::secondsUntilAtRest(std::chrono::seconds limit)
{
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < start + limit) {
        const double rested = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double before = processSeconds();
        spinUntil([] { return false; }, restWindow);
        if (processSeconds() - before < 0.05 * std::chrono::duration<double>(restWindow).count()) return rested;
    }
    return std::nullopt;
}

std::optional<int> AppRun::reopenScrolled(const Uuid& batch, std::chrono::seconds dwell, std::chrono::seconds patience,
                                          std::chrono::seconds limit)
{
    model().openBatch(batch);
    if (!spinUntil([&] { return grid() && !tilesInView().empty() && blankTilesInView() == 0; }, limit))
        return std::nullopt;
    const std::vector<int> steps = screenSteps();
    std::vector<int> upwards(steps.rbegin(), steps.rend());
    return blankTilesAlong(upwards, dwell, patience);
}

bool AppRun::previewsSettled()
{
    return model().previews().inFlight().empty() && model().previews().wanted().empty();
}

std::chrono::duration<double> AppRun::quit()
{
    const auto start = std::chrono::steady_clock::now();
    application_->quit();
    application_.reset();
    return std::chrono::steady_clock::now() - start;
}

double residentGB()
{
    return double(residentBytes()) / double(1ull << 30);
}

double residentPeakGB()
{
    return double(residentPeakBytes()) / double(1ull << 30);
}

void startResidentPeak()
{
    malloc_trim(0);
    resetResidentPeak();
}

bool showsPreview(TileView& tile)
{
    const auto& preview = tile.item()->previewImage();
    const auto& copy = tile.item()->developedCopy();
    const PixelImage& picture = tilePicture(tile);
    if (!preview) return false;
    if (picture.handle() == *preview) return true;
    return copy && copy->preview == *preview && picture.handle() == copy->counted;
}

} // namespace oxel::bench
