// Long random sequences through the real preview renderer, the shared picture cache at a small bound
// and real tiles, wired as the tile grid wires them. Every picture a render makes is one flat colour
// that names the result and settings it was made at, so what a tile paints says which picture it
// shows whichever way it came (a delivered preview, a kept thumbnail, the tile's own picture). A sequence is
// made from its seed alone; a failing one prints its steps, and OXEL_TILE_SEED replays one seed.
#include "async/ManualLoop.h"
#include "async/TaskScope.h"
#include "library/JobOutcome.h"
#include "model/PreviewRenderer.h"
#include "sheets/TileClock.h"
#include "sheets/TileView.h"
#include "ui/kit/PixelImage.h"

#include <QCoreApplication>
#include <QImage>
#include <QScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <stop_token>
#include <thread>
#include <vector>

namespace oxel::testing {
namespace {

using namespace std::chrono_literals;

// A code in a colour: three channels of 28 levels 8 apart, which a lossy copy still decodes.
// Code 0 is the original; blank is what the view paints nothing over.
constexpr int levelsPerChannel = 28;
constexpr int levelBase = 16;
constexpr int levelStep = 8;
constexpr int originalCode = 0;
constexpr QRgb blankColour = qRgb(255, 0, 255);
constexpr int pictureWidth = 240;
constexpr int pictureHeight = 160;

QRgb colourOf(int code)
{
    const auto level = [&](int digit) { return levelBase + levelStep * digit; };
    return qRgb(level(code / (levelsPerChannel * levelsPerChannel) % levelsPerChannel),
                level(code / levelsPerChannel % levelsPerChannel), level(code % levelsPerChannel));
}

// The code a painted pixel shows; nothing for a blank or anything else.
std::optional<int> codeOf(QRgb pixel)
{
    int code = 0;
    for (const int channel : {qRed(pixel), qGreen(pixel), qBlue(pixel)}) {
        const int digit = (channel - levelBase + levelStep / 2) / levelStep;
        if (digit < 0 || digit >= levelsPerChannel || std::abs(channel - (levelBase + levelStep * digit)) > 3)
            return std::nullopt;
        code = code * levelsPerChannel + digit;
    }
    return code;
}

Bitmap flatPicture(int code)
{
    auto bitmap = *Bitmap::allocate(pictureWidth, pictureHeight, PixelFormat::RGB8, ColourSpace::sRGB());
    const QRgb colour = colourOf(code);
    for (int y = 0; y < pictureHeight; ++y)
        for (int x = 0; x < pictureWidth; ++x) {
            uint8_t* pixel = bitmap.mutableData() + y * bitmap.rowBytes() + x * 3;
            pixel[0] = uint8_t(qRed(colour));
            pixel[1] = uint8_t(qGreen(colour));
            pixel[2] = uint8_t(qBlue(colour));
        }
    return bitmap;
}

// Every picture of a sequence by its code, in the order its settings became an item's: of two codes
// of one item, the smaller is at older settings. Counts the renders of each at each tile size since
// the batch was opened. Shared with the renders and the recipes, which may outlive the sequence on
// pool threads.
class Codes {
public:
    int of(const std::string& result, const DevelopSettings& settings)
    {
        std::lock_guard lock(mutex_);
        const Key key{result, settings.alternative, settings.strength, settings.colour, settings.grain};
        const auto [at, added] = codes_.try_emplace(key, int(results_.size()) + 1);
        if (added) results_.push_back(result);
        return at->second;
    }
    std::string resultOf(int code) const
    {
        std::lock_guard lock(mutex_);
        return code >= 1 && size_t(code) <= results_.size() ? results_[size_t(code) - 1] : std::string();
    }
    void rendered(int code, int64_t width)
    {
        std::lock_guard lock(mutex_);
        ++renders_[{code, width}];
        ++total_;
    }
    // A code rendered more than once at one size since the batch was opened, and how often.
    std::optional<std::pair<int, int>> twice() const
    {
        std::lock_guard lock(mutex_);
        for (const auto& [made, count] : renders_)
            if (count > 1) return std::pair{made.first, count};
        return std::nullopt;
    }
    void batchOpened()
    {
        std::lock_guard lock(mutex_);
        renders_.clear();
    }
    long total() const
    {
        std::lock_guard lock(mutex_);
        return total_;
    }

private:
    using Key = std::tuple<std::string, bool, double, double, bool>;
    mutable std::mutex mutex_;
    std::map<Key, int> codes_;
    std::vector<std::string> results_;
    std::map<std::pair<int, int64_t>, int> renders_;
    long total_ = 0;
};

// What a render reads besides the result: a cached picture of its own, as the develop order reads
// the original scaled to the render.
void readSource(const DevelopInput& input)
{
    RenderPins::hold(PictureCache::shared().pin("sequence-source-" + input.jobId, [] {
        return Bitmap::allocate(64, 64, PixelFormat::RGBX8, ColourSpace::sRGB());
    }));
}

// A tile's picture, at the size the block draws it; every one that returns is counted.
std::optional<Bitmap> renderCoded(Codes& codes, const DevelopInput& input, const DevelopSettings& settings, TileBox box,
                                  std::stop_token stop)
{
    readSource(input);
    // A little real work, so that moves and scrolls meet renders under way.
    for (int slice = 0; slice < 2 && !stop.stop_requested(); ++slice) std::this_thread::sleep_for(50us);
    if (stop.stop_requested()) return std::nullopt;
    const int code = codes.of(input.jobId, settings);
    auto picture = developedCopy(flatPicture(code), box);
    if (picture) codes.rendered(code, picture->width());
    return picture;
}

// The steps a sequence is made of; `a` and `b` pick items, sizes and counts as each step reads them.
enum class Kind {
    deliver,
    redeliver,
    rebuild,
    light,
    lightDrag,
    colour,
    look,
    batchLight,
    batchDrag,
    colourZero,
    wait,
    scrollSlow,
    scrollFast,
    resize,
    letGo,
    compare,
    openBatch,
    reopen,
    rest,
    quit
};
// Each kind's name and how often a sequence takes it, in the order of `Kind`.
constexpr std::pair<const char*, int> kinds[] = {{"deliver", 14},   {"redeliver", 2}, {"rebuild", 6}, {"light", 8},
                                                 {"lightDrag", 4},  {"colour", 4},    {"look", 3},    {"batchLight", 4},
                                                 {"batchDrag", 3},  {"colour0", 2},   {"wait", 10},   {"scrollSlow", 8},
                                                 {"scrollFast", 5}, {"resize", 2},    {"letGo", 5},   {"compare", 2},
                                                 {"openBatch", 2},  {"reopen", 3},    {"rest", 5},    {"quit", 0}};

struct Step {
    Kind kind;
    int a = 0;
    int b = 0;
};

std::string describe(const Step& step)
{
    return std::string(kinds[int(step.kind)].first) + "(" + std::to_string(step.a) + "," + std::to_string(step.b) + ")";
}

std::vector<Step> stepsOf(unsigned seed)
{
    std::mt19937 random(seed);
    int total = 0;
    for (const auto& [name, weight] : kinds) total += weight;
    const int length = std::uniform_int_distribution(12, 40)(random);
    std::vector<Step> steps;
    for (int index = 0; index < length; ++index) {
        int pick = std::uniform_int_distribution(0, total - 1)(random), kind = 0;
        while (pick >= kinds[kind].second) pick -= kinds[kind++].second;
        steps.push_back(
            {Kind(kind), std::uniform_int_distribution(0, 999)(random), std::uniform_int_distribution(0, 999)(random)});
    }
    steps.push_back({std::uniform_int_distribution(0, 3)(random) == 0 ? Kind::quit : Kind::rest, 0, 0});
    return steps;
}

// The renderer, the cache and the tiles of one sequence, wired as the grid and the model wire them.
class Sequence {
public:
    Sequence(unsigned seed, QScrollArea& area) : seed_(seed), area_(area)
    {
        renderer_.spawn = [this](Task<void> task) { scope_->spawn(std::move(task)); };
        renderer_.settingsFor = [this](const BatchItem& item) { return settingsOf(photos_.at(item.id)); };
        renderer_.items = [this]() -> const PreviewRenderer::Items& { return items_; };
        // As the model writes the kept thumbnail, with the settings it was made at.
        renderer_.newestShown = [this](const std::shared_ptr<BatchItem>& item) {
            if (item->developedCopy()) thumbnails_[item->url()] = item->developedCopy()->madeAt;
        };
        page_ = new QWidget;
        area_.setWidget(page_);
        std::mt19937 random(seed);
        const size_t bounds[] = {48 << 10, 160 << 10, 640 << 10};
        PictureCache::shared().setByteLimit(bounds[random() % 3]);
        openBatch(int(random() % 1000));
    }
    ~Sequence()
    {
        if (!quit_) tearDown();
    }

    // Runs a step and checks what the tiles show and what was rendered: the first fault of each
    // check.
    std::vector<std::string> run(const Step& step)
    {
        perform(step);
        settle();
        std::vector<std::optional<std::string>> checks;
        if (quit_) {
            checks.push_back(checkGone(false));
        } else {
            checks.push_back(checkTiles());
            checks.push_back(checkRenders());
            if (step.kind == Kind::rest) checks.push_back(checkRest());
            if (step.kind == Kind::rest) checks.push_back(checkGone(true));
        }
        std::vector<std::string> faults;
        for (auto& fault : checks)
            if (fault) faults.push_back(std::move(*fault));
        return faults;
    }

private:
    struct Photo {
        std::shared_ptr<BatchItem> item;
        int version = 0;
        bool alternative = false;
        std::shared_ptr<const JobOutcome> reopened; // a reopened result still being rebuilt
        std::optional<DevelopSettings> reopenedAt;
        std::optional<DevelopSettings> keptAt; // of the kept thumbnail standing in
    };

    DevelopSettings settingsOf(const Photo& photo) const
    {
        return {photo.alternative, 1.0 + 0.001 * photo.version, colour_, true};
    }
    int currentCode(const Photo& photo) { return codes_->of(photo.item->result()->jobId, settingsOf(photo)); }
    std::shared_ptr<const JobOutcome> newResult()
    {
        std::ostringstream job;
        job << 's' << seed_ << "-r" << ++results_;
        return std::make_shared<JobOutcome>(job.str(), Image(), DetailTransfer(Image(), Image(), SourceImage::sRGB()));
    }
    // A preview, or a kept thumbnail, made at these settings.
    PictureHandle recipeOf(const std::shared_ptr<const JobOutcome>& outcome, DevelopSettings settings) const
    {
        const int code = codes_->of(outcome->jobId, settings);
        return PictureHandle(PictureRecipe{pictureWidth, pictureHeight, [code] { return flatPicture(code); }});
    }
    static PictureHandle original()
    {
        return PictureHandle(PictureRecipe{pictureWidth, pictureHeight, [] { return flatPicture(originalCode); }});
    }
    Photo& photoAt(int pick) { return photos_.at(items_[size_t(pick) % items_.size()]->id); }
    // Settings moved: the new ones are the newest picture's from now on.
    void moved(Photo& photo)
    {
        ++photo.version;
        if (photo.item->result()) currentCode(photo);
    }

    // ---- Steps.

    void perform(const Step& step)
    {
        switch (step.kind) {
        case Kind::deliver: return deliver(step.a, false);
        case Kind::redeliver: return deliver(step.a, true);
        case Kind::rebuild: return rebuild(step.a);
        case Kind::light:
        case Kind::colour: return moveItem(step.a, 1, false);
        case Kind::lightDrag: return moveItem(step.a, 3 + step.b % 8, false);
        case Kind::look: return moveItem(step.a, 1, true);
        case Kind::batchLight: return moveBatch(1, false);
        case Kind::batchDrag: return moveBatch(3 + step.b % 6, false);
        case Kind::colourZero: return moveBatch(1, true);
        case Kind::wait: return loop_.advance(std::chrono::milliseconds(5 + step.a % 60));
        case Kind::scrollSlow: return scrollBy(step.a % 2 ? 1 : -1, step.b % 3 + 2);
        case Kind::scrollFast: return scrollFast(step.a, step.b);
        case Kind::resize: return resize(step.a, step.b);
        case Kind::letGo: return letGo(step.a);
        case Kind::compare: return compare();
        case Kind::openBatch: return openBatch(step.a);
        case Kind::reopen: return reopen();
        case Kind::rest: return rest();
        case Kind::quit: return tearDown();
        }
    }

    // A job's result comes, with its picture at the light it was sent with and no colour.
    void deliver(int pick, bool again)
    {
        std::vector<Photo*> waiting;
        for (const auto& item : items_)
            if (again == bool(item->result()) && !photos_.at(item->id).reopened)
                waiting.push_back(&photos_.at(item->id));
        if (waiting.empty()) return;
        Photo& photo = *waiting[size_t(pick) % waiting.size()];
        const auto result = newResult();
        DevelopSettings sent = settingsOf(photo);
        sent.colour = 0;
        sent.alternative = false;
        const int sentCode = codes_->of(result->jobId, sent);
        const auto& item = photo.item;
        item->setResult(result);
        // The result comes with its tile's picture at the light it was sent with.
        const PictureHandle preview = recipeOf(result, sent);
        item->setDevelopedCopy(BatchItem::DevelopedCopy::counting(
            *developedCopy(flatPicture(sentCode), TileBox::standard()), preview, sent));
        item->setPreviewImage(preview);
        item->setOriginalPreview(original());
        item->setPhase(phase::Done{});
        currentCode(photo);
        // As the model hears of a finished job.
        renderer_.tookPicture(item);
        renderer_.follow(item);
    }

    // A reopened item's result is rebuilt from the library: its preview is made when asked for.
    void rebuild(int pick)
    {
        std::vector<Photo*> waiting;
        for (const auto& item : items_)
            if (photos_.at(item->id).reopened) waiting.push_back(&photos_.at(item->id));
        if (waiting.empty()) return;
        Photo& photo = *waiting[size_t(pick) % waiting.size()];
        const auto result = std::exchange(photo.reopened, nullptr);
        photo.item->setResult(result);
        photo.item->setPreviewImage(recipeOf(result, *photo.reopenedAt));
        photo.item->setOriginalPreview(original());
        photo.item->setPhase(phase::Done{});
        currentCode(photo);
        // As the model rebuilds it: its own picture replaces the kept thumbnail.
        renderer_.follow(photo.item);
    }

    // One of the item's own controls moved, or dragged through `moves` values in quick succession.
    void moveItem(int pick, int moves, bool look)
    {
        Photo& photo = photoAt(pick);
        for (int move = 0; move < moves; ++move) {
            if (look) photo.alternative = !photo.alternative;
            moved(photo);
            renderer_.request(photo.item);
            if (moves > 1) quickTurn();
        }
    }

    // A batch control moved or dragged: every item's settings change and a pass follows at rest.
    void moveBatch(int moves, bool colour)
    {
        for (int move = 0; move < moves; ++move) {
            if (colour) colour_ = colour_ > 0 ? 0 : 1;
            for (const auto& item : items_) moved(photos_.at(item->id));
            renderer_.restartPass();
            passAskedAt_ = loop_.elapsed();
            if (moves > 1) quickTurn();
        }
    }

    // What passes between two events of a drag: a few milliseconds, nothing waited for.
    void quickTurn()
    {
        loop_.advance(8ms);
        QCoreApplication::processEvents();
    }

    void scrollBy(int direction, int thirds)
    {
        QScrollBar& bar = *area_.verticalScrollBar();
        bar.setValue(bar.value() + direction * area_.viewport()->height() * thirds / 6);
        followView();
    }

    // Jumps through the batch a few times, each jump followed at once by the next.
    void scrollFast(int a, int b)
    {
        QScrollBar& bar = *area_.verticalScrollBar();
        for (int jump = 0; jump <= b % 3; ++jump) {
            bar.setValue(bar.maximum() * ((a + 397 * jump) % 1000) / 999);
            followView();
            QCoreApplication::processEvents();
        }
    }

    void resize(int a, int b)
    {
        area_.resize(420 + a % 500, 300 + b % 300);
        placeTiles();
    }

    // The cache lets go what nothing pins, as a large batch far from view makes it, or its bound moves.
    void letGo(int a)
    {
        if (a % 2) {
            PictureCache::shared().clear();
        } else {
            const size_t bounds[] = {32 << 10, 96 << 10, 320 << 10};
            PictureCache::shared().setByteLimit(bounds[a / 2 % 3]);
        }
        for (TileView* tile : tiles_)
            if (!onScreen_.contains(tile->item()->id)) tile->releasePixmaps();
        area_.viewport()->update();
    }

    void compare()
    {
        comparing_ = !comparing_;
        for (TileView* tile : tiles_) tile->setComparing(comparing_);
    }

    // A batch opens in place of the one before; a few of its items were developed and are rebuilt
    // later, their library thumbnails standing in meanwhile.
    void openBatch(int a)
    {
        closeBatch();
        std::mt19937 random(seed_ * 31 + unsigned(a));
        const int count = 6 + int(random() % 19);
        for (int index = 0; index < count; ++index) {
            Photo photo;
            photo.item = newItem("/photos/" + std::to_string(itemsMade_ + 1) + ".jpg");
            photo.version = int(random() % 3);
            if (random() % 3 == 0) {
                const int code = reopenWith(photo, newResult());
                // The library's thumbnail of the result stands in until the result is rebuilt.
                photo.item->setDevelopedThumbnail(
                    PictureHandle(PictureRecipe{pictureWidth, pictureHeight, [code] { return flatPicture(code); }}));
                renderer_.thumbnailKeptAt(photo.item, *photo.reopenedAt);
                photo.keptAt = photo.reopenedAt;
            }
            addTile(std::move(photo));
        }
        area_.verticalScrollBar()->setValue(0);
        placeTiles();
    }

    // The program quits with whatever is under way, a light in the middle of its move perhaps, and
    // opens the same batch again: each item at the settings last moved, its result rebuilt later, its
    // kept thumbnail as last written standing in only while it was made at those settings.
    void reopen()
    {
        std::vector<Photo> before;
        for (const auto& item : items_) before.push_back(photos_.at(item->id));
        closeBatch();
        for (const Photo& was : before) {
            Photo photo = was;
            photo.item = newItem(was.item->url());
            photo.keptAt.reset();
            if (const auto& result = was.item->result() ? was.item->result() : was.reopened) {
                reopenWith(photo, std::make_shared<JobOutcome>(result->jobId, Image(), result->transfer));
                const auto written = thumbnails_.find(was.item->url());
                if (written != thumbnails_.end() && written->second == *photo.reopenedAt) {
                    photo.item->setDevelopedThumbnail(recipeOf(photo.reopened, written->second));
                    renderer_.thumbnailKeptAt(photo.item, written->second);
                    photo.keptAt = written->second;
                }
            }
            addTile(std::move(photo));
        }
        area_.verticalScrollBar()->setValue(0);
        placeTiles();
    }

    void closeBatch()
    {
        renderer_.dropWanted();
        codes_->batchOpened();
        for (const auto& item : items_) gone_.push_back(item);
        for (TileView* tile : tiles_) delete tile;
        tiles_.clear();
        items_.clear();
        photos_.clear();
    }

    std::shared_ptr<BatchItem> newItem(const std::filesystem::path& url)
    {
        Uuid::Bytes bytes{};
        const unsigned serial = ++itemsMade_;
        std::memcpy(bytes.data(), &serial, sizeof serial);
        return BatchItem::make(Uuid(bytes), url, Origin::opened, std::nullopt, original());
    }

    // The photo's result, kept in the library, waits to be rebuilt; the code of its saved settings.
    int reopenWith(Photo& photo, std::shared_ptr<const JobOutcome> result)
    {
        photo.reopened = std::move(result);
        photo.reopenedAt = settingsOf(photo);
        photo.item->setPhase(phase::Restoring{});
        return codes_->of(photo.reopened->jobId, *photo.reopenedAt);
    }

    void addTile(Photo photo)
    {
        const auto item = photo.item;
        photos_.emplace(item->id, std::move(photo));
        items_.push_back(item);
        auto* tile = new TileView(item, clock_, page_);
        tile->setScreen(TileView::Screen::results);
        tile->setComparing(comparing_);
        tile->show();
        tiles_.push_back(tile);
    }

    // The controls and the view rest, and the pool drains.
    void rest()
    {
        for (int round = 0; round < 40; ++round) {
            loop_.advance(PreviewRenderer::restDelay + 10ms);
            settle();
            if (round >= 2 && renderer_.inFlight().empty() && renderer_.wanted().empty()) return;
        }
    }

    // The program quits with whatever is under way.
    void tearDown()
    {
        quit_ = true;
        for (const auto& item : items_) gone_.push_back(item);
        for (TileView* tile : tiles_) delete tile;
        tiles_.clear();
        scope_.reset();
        items_.clear();
        photos_.clear();
        drainSharedPool();
        QCoreApplication::processEvents();
    }

    // What the item holds, for a failing step's line.
    std::string pictureState(const BatchItem& item) const
    {
        std::ostringstream state;
        state << " [" << (item.developedCopy() ? "own picture" : "no picture of its own") << ", "
              << (item.developedThumbnail() ? "kept thumbnail" : "no thumbnail") << ", "
              << (renderer_.copyIsNewest(item) ? "newest" : "not newest") << "]";
        return state.str();
    }

    // ---- The grid's part.

    void placeTiles()
    {
        const int width = area_.viewport()->width();
        const int columns = std::max(1, width / 190);
        constexpr int gap = 12;
        const int tileWidth = std::max(60, (width - gap * (columns + 1)) / columns);
        int y = gap;
        for (size_t start = 0; start < tiles_.size(); start += size_t(columns)) {
            int rowHeight = 0;
            for (size_t index = start; index < std::min(tiles_.size(), start + size_t(columns)); ++index) {
                const int height = tiles_[index]->heightForWidth(tileWidth);
                tiles_[index]->setGeometry(gap + int(index - start) * (tileWidth + gap), y, tileWidth, height);
                rowHeight = std::max(rowHeight, height);
            }
            y += rowHeight + gap;
        }
        page_->resize(width, y);
        if (!tiles_.empty()) {
            const QSizeF block = QSizeF(tiles_.front()->pictureBlockRect().size()) * area_.devicePixelRatioF();
            renderer_.setTileBox({block.width(), block.height()});
        }
        followView();
    }

    // Which tiles are on screen and which near it, within two screen heights; the rest let their
    // scaled copies go.
    void followView()
    {
        const int screen = area_.viewport()->height();
        const int top = area_.verticalScrollBar()->value();
        const QRect shown(0, top, page_->width(), screen);
        const QRect kept(0, top - 2 * screen, page_->width(), 5 * screen);
        std::set<Uuid> onScreen;
        std::set<Uuid> near;
        for (TileView* tile : tiles_) {
            const bool inSight = tile->geometry().intersects(shown);
            tile->setInSight(inSight);
            if (inSight)
                onScreen.insert(tile->item()->id);
            else if (tile->geometry().intersects(kept))
                near.insert(tile->item()->id);
            else
                tile->releasePixmaps();
        }
        onScreen_ = onScreen;
        near_ = near;
        renderer_.setInView(std::move(onScreen), std::move(near));
    }

    // ---- Running to quiescence.

    // Every job the shared pool took before now has ended: each of its threads waits in a job of
    // its own at the lowest priority. The waits block rather than spin, so that a busy machine
    // does not starve the threads the others wait for.
    static void drainSharedPool()
    {
        struct Gathering {
            std::mutex mutex;
            std::condition_variable changed;
            unsigned arrived = 0;
        };
        WorkPool& pool = WorkPool::shared();
        const unsigned threads = pool.threadCount();
        auto gathering = std::make_shared<Gathering>();
        const auto allArrived = [gathering, threads] { return gathering->arrived == threads; };
        for (unsigned thread = 0; thread < threads; ++thread)
            pool.submit(WorkPriority::utility, [gathering, allArrived] {
                std::unique_lock lock(gathering->mutex);
                ++gathering->arrived;
                gathering->changed.notify_all();
                gathering->changed.wait(lock, allArrived);
            });
        // Once every thread is in one of these jobs, all it took before have ended.
        std::unique_lock lock(gathering->mutex);
        gathering->changed.wait(lock, allArrived);
    }

    // Runs the renderer's tasks, the pool's work and the tiles' events until nothing moves, without
    // letting virtual time pass.
    void settle()
    {
        std::string before;
        for (int round = 0; round < 400; ++round) {
            // After a quit nothing of the renderer runs again.
            if (!quit_) {
                loop_.waitForPendingWork();
                loop_.advance(0ns);
            }
            drainSharedPool();
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            const std::string now = quietness();
            if (now == before && (quit_ || renderer_.inFlight().empty())) return;
            before = now;
        }
        unsettled_ = true;
    }
    std::string quietness()
    {
        std::ostringstream state;
        state << codes_->total() << ' ' << renderer_.wanted().size() << ' ' << renderer_.inFlight().size();
        for (TileView* tile : tiles_) {
            const auto* picture = tile->findChild<PixelImage*>();
            state << ' ' << picture->holdsScaled() << picture->drawsPicture();
            state << ' ' << (picture->handle().isNull() ? 0 : picture->handle().width());
        }
        for (const auto& item : items_) state << ' ' << bool(item->previewImage()) << bool(item->developedThumbnail());
        return state.str();
    }

    // ---- Checks.

    // The code the tile's picture paints at its centre; nothing for a blank.
    static std::optional<int> shownBy(TileView& tile)
    {
        auto* picture = tile.findChild<PixelImage*>();
        if (picture->width() < 4 || picture->height() < 4) return std::nullopt;
        QImage image(3, 3, QImage::Format_RGB32);
        image.fill(blankColour);
        const QPoint centre = picture->rect().center();
        picture->render(&image, QPoint(), QRegion(QRect(centre - QPoint(1, 1), QSize(3, 3))), QWidget::DrawChildren);
        return codeOf(image.pixel(1, 1)); // the region's corner is drawn at the image's
    }

    std::string itemName(const BatchItem& item) const { return item.url().filename().string(); }

    std::optional<std::string> checkTiles()
    {
        if (unsettled_) return "the renderer and the tiles never came to rest";
        const bool passWaits = passAskedAt_ && loop_.elapsed() - *passAskedAt_ < PreviewRenderer::restDelay;
        for (TileView* tile : tiles_) {
            const auto& item = tile->item();
            if (!onScreen_.contains(item->id) || comparing_) continue;
            const Photo& photo = photos_.at(item->id);
            const auto shown = shownBy(*tile);
            const std::string name = itemName(*item);
            if (!shown || *shown == originalCode) {
                if (everDeveloped_.contains(item->id))
                    return "(a) " + name + " in view shows " + (shown ? "its original" : "a blank") +
                           " after it showed a developed picture";
                continue;
            }
            everDeveloped_.insert(item->id);
            if (!item->result() || codes_->resultOf(*shown).empty())
                return "the tile of " + name + " shows a picture of no result of its own";
            const int newest = codes_->of(item->result()->jobId, settingsOf(photo));
            if (const auto last = lastShown_.find(item->id); last != lastShown_.end() && *shown < last->second)
                return "(b) " + name + " replaced picture " + std::to_string(last->second) + " by the older " +
                       std::to_string(*shown);
            lastShown_[item->id] = *shown;
            const bool coming = renderer_.wanted().contains(item->id) || renderer_.inFlight().contains(item->id);
            if (*shown != newest && !coming && !passWaits)
                return "(b) " + name + " shows picture " + std::to_string(*shown) + " at older settings than " +
                       std::to_string(newest) + ", and nothing waits or renders for it" + pictureState(*item);
        }
        return std::nullopt;
    }

    std::optional<std::string> checkRenders()
    {
        if (const auto twice = codes_->twice())
            return "(d) picture " + std::to_string(twice->first) + " rendered " + std::to_string(twice->second) +
                   " times at one size";
        return std::nullopt;
    }

    bool holdsNewest(const Photo& photo) const
    {
        const auto& item = *photo.item;
        if (item.developedCopy()) return item.developedCopy()->madeAt == settingsOf(photo);
        const bool far = !onScreen_.contains(item.id) && !near_.contains(item.id);
        return far && item.developedThumbnail() && photo.keptAt == settingsOf(photo);
    }

    std::optional<std::string> checkRest()
    {
        if (!renderer_.inFlight().empty() || !renderer_.wanted().empty()) return "(c) the renderer never rested";
        // (f) Every developed item holds its own picture at its newest settings; one far from the
        // view may hold the kept thumbnail made at them instead.
        for (const auto& item : items_)
            if (item->result() && !holdsNewest(photos_.at(item->id)))
                return "(f) at rest " + itemName(*item) + " holds no picture at its newest settings" +
                       pictureState(*item);
        for (TileView* tile : tiles_) {
            const auto& item = tile->item();
            if (!onScreen_.contains(item->id) || comparing_ || !item->result()) continue;
            const int newest = currentCode(photos_.at(item->id));
            const auto shown = shownBy(*tile);
            if (shown != newest)
                return "(c) at rest " + itemName(*item) + " shows " +
                       (shown ? "picture " + std::to_string(*shown) : std::string("a blank")) + ", not its newest " +
                       std::to_string(newest);
        }
        return std::nullopt;
    }

    // (e) Nothing of an item that left the batch stays held once the renderer settled.
    std::optional<std::string> checkGone(bool renderer)
    {
        std::set<Uuid> present;
        for (const auto& item : items_) present.insert(item->id);
        for (const auto& [id, wanted] : renderer_.wanted())
            if (renderer && !present.contains(id)) return std::string("(e) the renderer still wants an item that left");
        for (const Uuid& id : renderer_.inFlight())
            if (renderer && !present.contains(id))
                return std::string("(e) the renderer still renders an item that left");
        for (const auto& item : gone_)
            if (!item.expired())
                return "(e) " + itemName(*item.lock()) + ", which left the batch, is still held by " +
                       std::to_string(item.use_count()) + " owner(s)";
        return std::nullopt;
    }

    unsigned seed_;
    QScrollArea& area_;
    QWidget* page_;
    ManualLoop loop_;
    std::shared_ptr<Codes> codes_ = std::make_shared<Codes>();
    WorkPool pool_{2};
    PreviewRenderer renderer_{PreviewRenderer::Environment{
        &pool_,
        [codes = codes_](const DevelopInput& input, const DevelopSettings& settings, std::stop_token) {
            return std::optional(flatPicture(codes->of(input.jobId, settings)));
        },
        [codes = codes_](const DevelopInput& input, const DevelopSettings& settings, TileBox box,
                         std::stop_token stop) { return renderCoded(*codes, input, settings, box, std::move(stop)); },
        [](const DevelopInput&) { return std::pair<int64_t, int64_t>(pictureWidth, pictureHeight); }}};
    std::unique_ptr<TaskScope> scope_ = std::make_unique<TaskScope>(); // goes first: no render outlives the renderer
    TileClock clock_{[] { return Date{} + 1000h; }};
    PreviewRenderer::Items items_;
    std::map<Uuid, Photo> photos_;
    std::vector<TileView*> tiles_;
    std::set<Uuid> onScreen_;
    std::set<Uuid> near_;
    std::vector<std::weak_ptr<BatchItem>> gone_;
    std::set<Uuid> everDeveloped_;
    std::map<Uuid, int> lastShown_;
    std::optional<std::chrono::nanoseconds> passAskedAt_;
    std::map<std::filesystem::path, DevelopSettings> thumbnails_; // as last written, by photograph
    double colour_ = 1;
    bool comparing_ = false;
    bool quit_ = false;
    bool unsettled_ = false;
    int results_ = 0;
    unsigned itemsMade_ = 0;
};

// A fault a seed's sequence met, with the steps up to it.
struct Failure {
    unsigned seed;
    std::string fault;
    std::vector<Step> steps;
};

// Which invariant a fault breaks: "(a)" to "(f)", or "other".
std::string invariantOf(const std::string& fault)
{
    return fault.size() > 3 && fault[0] == '(' && fault[2] == ')' ? fault.substr(0, 3) : "other";
}

// The first fault of each invariant along the seed's whole sequence.
std::map<std::string, Failure> runSeed(unsigned seed, QScrollArea& area)
{
    const auto steps = stepsOf(seed);
    std::map<std::string, Failure> found;
    Sequence sequence(seed, area);
    for (size_t index = 0; index < steps.size(); ++index)
        for (const auto& fault : sequence.run(steps[index]))
            found.try_emplace(invariantOf(fault),
                              Failure{seed,
                                      "step " + std::to_string(index + 1) + " " + describe(steps[index]) + ": " + fault,
                                      std::vector(steps.begin(), steps.begin() + long(index) + 1)});
    return found;
}

std::string printed(const Failure& failure)
{
    std::ostringstream text;
    text << "seed " << failure.seed << ", " << failure.fault << "\n    steps:";
    for (const auto& step : failure.steps) text << ' ' << describe(step);
    return text.str();
}

std::vector<unsigned> seedsToRun()
{
    if (const char* one = std::getenv("OXEL_TILE_SEED")) return {unsigned(std::strtoul(one, nullptr, 10))};
    const char* asked = std::getenv("OXEL_TILE_SEQUENCES");
    const unsigned count = asked ? unsigned(std::strtoul(asked, nullptr, 10)) : 800;
    std::vector<unsigned> seeds;
    for (unsigned seed = 1; seed <= count; ++seed) seeds.push_back(seed);
    return seeds;
}

TEST(TileSequences, NoTileGoesBlankOrBackwardAndEveryTileInViewRestsAtItsNewestPicture)
{
    const size_t limit = PictureCache::shared().byteLimit();
    QScrollArea area;
    area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area.resize(640, 480);
    area.show();

    const auto seeds = seedsToRun();
    std::map<std::string, std::pair<int, Failure>> faults; // by invariant: how many seeds, the shortest
    for (const unsigned seed : seeds) {
        for (auto& [invariant, failure] : runSeed(seed, area)) {
            if (seeds.size() == 1) std::cout << printed(failure) << "\n";
            auto [at, first] = faults.try_emplace(invariant, 0, failure);
            ++at->second.first;
            if (failure.steps.size() < at->second.second.steps.size()) at->second.second = failure;
        }
        PictureCache::shared().clear();
    }
    PictureCache::shared().setByteLimit(limit);
    for (const auto& [invariant, found] : faults)
        ADD_FAILURE() << invariant << " broken in " << found.first << " of " << seeds.size()
                      << " sequences; the shortest, replayed with OXEL_TILE_SEED=" << found.second.seed << ":\n  "
                      << printed(found.second);
}

} // namespace
} // namespace oxel::testing
