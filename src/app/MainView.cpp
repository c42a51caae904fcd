#include "app/MainView.h"

#include "app/SheetPresenter.h"
#include "model/AppModel.h"
#include "model/CompareCoach.h"
#include "sheets/AccountSheet.h"
#include "sheets/BatchesSheet.h"
#include "sheets/ColourExplainerSheet.h"
#include "sheets/ConfirmSheet.h"
#include "sheets/CreditsSheet.h"
#include "sheets/ExportSheet.h"
#include "sheets/FolderPanelPort.h"
#include "sheets/RenameSheet.h"
#include "sheets/SetupSheet.h"
#include "sheets/TileGrid.h"
#include "ui/kit/Motion.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PencilRule.h"
#include "ui/kit/Strokes.h"
#include "ui/window/BottomBar.h"
#include "ui/window/CompareHint.h"
#include "ui/window/CompareKeys.h"
#include "ui/window/EmptySheet.h"
#include "ui/window/LightboxView.h"
#include "ui/window/NudgeBand.h"
#include "ui/window/ResultsBand.h"
#include "ui/window/TopBar.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QGraphicsOpacityEffect>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace oxel {
namespace {

constexpr qreal highlightInset = 6;
constexpr qreal highlightLine = 1.5;

// The outline inside the window's edge while files hover over it; clicks go through it.
class DropHighlight : public QWidget {
public:
    explicit DropHighlight(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRectF outline =
            QRectF(rect()).adjusted(highlightInset, highlightInset, -highlightInset, -highlightInset);
        strokeBorderInside(painter, outline, Palette::ink(0.6).resolve(appearanceOf(*this)), highlightLine);
    }
};

std::optional<Uuid> idOf(const std::shared_ptr<BatchItem>& item)
{
    return item ? std::optional(item->id) : std::nullopt;
}

} // namespace

// What the coach was last told, so each handler acts only on a change.
struct MainView::Watched {
    bool appeared = false;
    std::optional<Uuid> batch;
    bool resultsOnScreen = false;
    std::optional<Uuid> lightbox;
};

MainView::MainView(AppModel& model, Shell shell, QWidget* parent)
    : QWidget(parent),
      model_(model),
      shell_(std::move(shell)),
      column_(new QVBoxLayout(this)),
      watched_(std::make_unique<Watched>()),
      watch_(*this, model, [this] { refresh(); })
{
    setAcceptDrops(true);
    // The view itself holds the keyboard focus until a text field is clicked, and takes it back on
    // a click on the paper, so space compares rather than typing into the first field there is.
    setFocusPolicy(Qt::ClickFocus);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(0);
    topBar_ = new TopBar(model_, {shell_.checkForUpdates, shell_.openSupport, shell_.setAppearance});
    column_->addWidget(topBar_);
    column_->addWidget(new PencilRule);

    hint_ = new CompareHint(this);
    auto* fade = new QGraphicsOpacityEffect(hint_);
    fade->setOpacity(0);
    hint_->setGraphicsEffect(fade);
    hint_->hide();
    highlight_ = new DropHighlight(this);

    keys_ = std::make_unique<CompareKeys>(
        *this, CompareKeys::Hooks{.comparedResults = [this] { model_.compareCoach().compared(); },
                                  .hasResults = [this] { return !model_.itemsWithResult().empty(); },
                                  .lightboxOpen = [this] { return model_.lightbox() != nullptr; },
                                  .closeLightbox = [this] { model_.setLightbox(nullptr); },
                                  .stepLightbox = [this](int step) { model_.stepLightbox(step); }});
    connect(keys_.get(), &CompareKeys::comparingChanged, this, &MainView::comparingChanged);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) model_.refreshColourOnlyAvailability();
    });
    presenter_ = makePresenter();
    // Only what the bars, the empty sheet, the sheets' flags and the coach read: the band, the grid
    // and the lightbox follow their own. A photograph's result, phase and source move the bars'
    // counts (a result back, a retry sent, a restore done).
    using Field = AppModel::Field;
    watch_
        .model({Field::items, Field::screen, Field::batch, Field::lastBatchSource, Field::balance, Field::statusLine,
                Field::recent, Field::lightbox, Field::colourOnlyOn, Field::colourOnlyModelReady, Field::showConfirm,
                Field::showExport, Field::showCredits, Field::showAccount, Field::showBatches, Field::showRename,
                Field::setupGuide, Field::showColourExplainer, Field::backendUnreachable})
        .items({BatchItem::Field::result, BatchItem::Field::phase, BatchItem::Field::source});
    coachChanged_ = model_.compareCoach().showingChanged.connect([this](bool) { refreshHint(); });
    refreshNow();
}

MainView::~MainView()
{
    qApp->removeEventFilter(this);
}

RootView::MainScreenMaker mainViewMaker(AppModel& model, MainView::Shell shell)
{
    return [&model, shell] { return new MainView(model, shell); };
}

std::unique_ptr<SheetPresenter> MainView::makePresenter()
{
    if (!shell_.folderPanel) ownFolderPanel_ = std::make_unique<QtFolderPanel>(this);
    FolderPanelPort& folders = shell_.folderPanel ? *shell_.folderPanel : *ownFolderPanel_;
    const auto flag = [](bool raised) { return raised ? std::optional<std::string>("") : std::nullopt; };
    AppModel& model = model_;
    std::vector<SheetPresenter::Sheet> sheets{
        {"confirm", [&model, flag] { return flag(model.showConfirm()); }, [&model] { model.setShowConfirm(false); },
         [&model](QWidget* parent) { return new ConfirmSheet(model, parent); }},
        {"export", [&model, flag] { return flag(model.showExport()); }, [&model] { model.setShowExport(false); },
         [&model, &folders](QWidget* parent) { return new ExportSheet(model, folders, parent); }},
        {"credits", [&model, flag] { return flag(model.showCredits()); }, [&model] { model.setShowCredits(false); },
         [&model](QWidget* parent) { return new CreditsSheet(model, parent); }},
        {"account", [&model, flag] { return flag(model.showAccount()); }, [&model] { model.setShowAccount(false); },
         [&model](QWidget* parent) { return new AccountSheet(model, parent); }},
        {"batches", [&model, flag] { return flag(model.showBatches()); }, [&model] { model.setShowBatches(false); },
         [this](QWidget* parent) -> QDialog* {
             if (!shell_.alerts) return nullptr;
             return new BatchesSheet(model_, *shell_.alerts, shell_.reveal, parent);
         }},
        {"rename", [&model, flag] { return flag(model.showRename()); }, [&model] { model.setShowRename(false); },
         [&model](QWidget* parent) { return new RenameSheet(model, parent); }},
        {"setup",
         [&model]() -> std::optional<std::string> {
             if (!model.setupGuide()) return std::nullopt;
             return std::string(rawValue(*model.setupGuide()));
         },
         [&model] { model.setSetupGuide(std::nullopt); },
         [&model](QWidget* parent) { return new SetupSheet(model, *model.setupGuide(), parent); }},
        {"colour explainer", [&model, flag] { return flag(model.showColourExplainer()); },
         [&model] { model.setShowColourExplainer(false); },
         [&model](QWidget* parent) { return new ColourExplainerSheet(model, parent); }},
    };
    return std::make_unique<SheetPresenter>(*this, std::move(sheets));
}

bool MainView::comparing() const
{
    return keys_->comparing();
}

bool MainView::resultsOnScreen() const
{
    return model_.screen() == AppModel::Screen::results && !model_.itemsWithResult().empty() && !model_.lightbox();
}

void MainView::refreshNow()
{
    watch_.runNow();
}

void MainView::showSaving()
{
    if (bottomBar_) bottomBar_->showSaving();
}

void MainView::refresh()
{
    ++refreshes_;
    topBar_->refresh();
    showWorkingArea();
    showBand();
    showLightbox();
    if (empty_) empty_->refresh();
    if (bottomBar_) bottomBar_->refresh();
    refreshHint();
    if (watched_->appeared) tellCoach();
    // A flag already raised when the view appears is presented once it is on screen.
    if (isVisible()) presenter_->refresh();
}

void MainView::showWorkingArea()
{
    const bool empty = model_.items().empty();
    if (empty && !empty_) {
        delete batchArea_;
        batchArea_ = nullptr;
        band_ = nullptr;
        grid_ = nullptr;
        bottomBar_ = nullptr;
        empty_ = new EmptySheet(model_);
        column_->addWidget(empty_, 1);
    } else if (!empty && !batchArea_) {
        delete empty_;
        empty_ = nullptr;
        buildBatchArea();
    }
}

void MainView::buildBatchArea()
{
    batchArea_ = new QWidget;
    auto* area = new QVBoxLayout(batchArea_);
    area->setContentsMargins(0, 0, 0, 0);
    area->setSpacing(0);
    grid_ = new TileGrid(model_);
    connect(grid_, &TileGrid::contextMenuRequested, this, &MainView::tileMenuRequested);
    connect(grid_, &TileGrid::locateRequested, this, &MainView::locateRequested);
    grid_->setComparing(comparing());
    area->addWidget(grid_, 1);
    area->addWidget(new PencilRule);
    bottomBar_ = new BottomBar(model_);
    area->addWidget(bottomBar_);
    column_->addWidget(batchArea_, 1);
}

void MainView::showBand()
{
    if (!batchArea_) return;
    const bool results = model_.screen() == AppModel::Screen::results;
    if (band_ && results == resultsBand_) return;
    delete band_;
    resultsBand_ = results;
    band_ = results ? static_cast<QWidget*>(new ResultsBand(model_)) : new NudgeBand(model_);
    static_cast<QVBoxLayout*>(batchArea_->layout())->insertWidget(0, band_);
}

// The lightbox lies over the bars; the hint and the drop highlight stay over it.
void MainView::showLightbox()
{
    const std::shared_ptr<BatchItem>& item = model_.lightbox();
    if (!item) {
        if (lightbox_) {
            lightbox_->hide();
            lightbox_->deleteLater();
            lightbox_ = nullptr;
        }
        return;
    }
    if (!lightbox_) {
        lightbox_ = new LightboxView(model_, this);
        lightbox_->setGeometry(rect());
        lightbox_->show();
        placeOverlays();
    }
    lightbox_->setComparing(comparing());
    lightbox_->setItem(item);
}

void MainView::refreshHint()
{
    const bool show = model_.compareCoach().showing() && !comparing() && !model_.itemsWithResult().empty();
    auto* fade = static_cast<QGraphicsOpacityEffect*>(hint_->graphicsEffect());
    if (show == hint_->isVisible() && fade->opacity() == (show ? 1.0 : 0.0)) return;
    auto* animation = new QVariantAnimation(hint_);
    animation->setStartValue(fade->opacity());
    animation->setEndValue(show ? 1.0 : 0.0);
    connect(animation, &QVariantAnimation::valueChanged, hint_,
            [fade](const QVariant& value) { fade->setOpacity(value.toReal()); });
    connect(animation, &QVariantAnimation::finished, hint_, [this, animation, show] {
        hint_->setVisible(show);
        animation->deleteLater();
    });
    if (show) hint_->show();
    hint_->raise();
    highlight_->raise();
    Motion::run(*animation, std::chrono::milliseconds(show ? 250 : 400), show ? Motion::easeOut() : Motion::easeIn());
}

// The batch's id and the results on screen are told once at the first appearance and then on
// each change; a lightbox step only when it lands on a developed picture.
void MainView::tellCoach()
{
    CompareCoach& coach = model_.compareCoach();
    Watched& seen = *watched_;
    const std::optional<Uuid> batch = model_.batch() ? std::optional(model_.batch()->id) : std::nullopt;
    const bool results = resultsOnScreen();
    const std::optional<Uuid> lightbox = idOf(model_.lightbox());
    const bool first = !seen.appeared;
    seen.appeared = true;
    if (first || batch != seen.batch) coach.batchChanged(batch);
    seen.batch = batch;
    if ((first || !seen.resultsOnScreen) && results) coach.resultsShown();
    seen.resultsOnScreen = results;
    if (!first && lightbox != seen.lightbox && model_.lightbox() && model_.lightbox()->result())
        coach.lightboxShowed(*lightbox);
    seen.lightbox = lightbox;
}

void MainView::comparingChanged(bool comparing)
{
    if (grid_) grid_->setComparing(comparing);
    if (lightbox_) lightbox_->setComparing(comparing);
    refreshHint();
}

void MainView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!window()->focusWidget()) setFocus();
    keys_->install();
    qApp->installEventFilter(this);
    presenter_->refresh();
    if (!watched_->appeared) tellCoach();
}

void MainView::hideEvent(QHideEvent* event)
{
    keys_->remove();
    qApp->removeEventFilter(this);
    QWidget::hideEvent(event);
}

void MainView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeOverlays();
}

void MainView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) update();
}

void MainView::placeOverlays()
{
    const QSize hintSize = hint_->sizeHint();
    hint_->setGeometry(QRect(QPoint((width() - hintSize.width()) / 2, (height() - hintSize.height()) / 2), hintSize));
    highlight_->setGeometry(rect());
    if (lightbox_) {
        lightbox_->setGeometry(rect());
        lightbox_->raise();
    }
    hint_->raise();
    highlight_->raise();
}

std::vector<std::filesystem::path> MainView::localFiles(const QMimeData& data)
{
    std::vector<std::filesystem::path> files;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) continue;
        // The path's bytes as the URL encodes them: a name that is not UTF-8 (unpacked from another
        // system) would lose its bytes as text, and the file would not be found.
        if (url.host().isEmpty())
            files.emplace_back(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
        else
            files.emplace_back(url.toLocalFile().toStdString());
    }
    return files;
}

void MainView::setTargeted(bool targeted)
{
    if (targeted_ == targeted) return;
    targeted_ = targeted;
    highlight_->setVisible(targeted);
    highlight_->raise();
}

void MainView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!event->mimeData() || localFiles(*event->mimeData()).empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setTargeted(true);
}

void MainView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!targeted_) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void MainView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setTargeted(false);
    event->accept();
}

void MainView::dropEvent(QDropEvent* event)
{
    setTargeted(false);
    const std::vector<std::filesystem::path> files =
        event->mimeData() ? localFiles(*event->mimeData()) : std::vector<std::filesystem::path>{};
    if (files.empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    model_.addDropped(files);
}

bool MainView::eventFilter(QObject* watched, QEvent* event)
{
    // Files dropped on a tile's text field join the batch like files dropped anywhere else,
    // rather than landing in the field as their addresses.
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::DragLeave && type != QEvent::Drop)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget == this || !isAncestorOf(widget)) return false;
    switch (type) {
    case QEvent::DragEnter: dragEnterEvent(static_cast<QDragEnterEvent*>(event)); return true;
    case QEvent::DragMove: dragMoveEvent(static_cast<QDragMoveEvent*>(event)); return true;
    case QEvent::DragLeave: dragLeaveEvent(static_cast<QDragLeaveEvent*>(event)); return true;
    case QEvent::Drop: dropEvent(static_cast<QDropEvent*>(event)); return true;
    default: return false;
    }
}

} // namespace oxel
