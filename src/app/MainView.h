#pragma once

#include "async/Signal.h"
#include "ui/kit/AppearancePreference.h"
#include "ui/screens/RootView.h"
#include "ui/window/ModelWatch.h"

#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QMimeData;
class QStackedLayout;
class QVBoxLayout;

namespace oxel {

class AppModel;
class FolderPanelPort;
class LightboxView;
class ModelPanels;
class BatchItem;
class BottomBar;
class CompareHint;
class CompareKeys;
class EmptySheet;
class SheetPresenter;
class TileGrid;
class TopBar;

// The main window's content once the account is signed in: the top bar and a rule, then the empty
// sheet, or the band, the tile grid, a rule and the bottom bar. Over them lie the lightbox, the
// compare hint and the drop highlight. It presents the model's sheets, tells the compare coach what
// the photographer sees, holds the space-bar compare and takes files dropped anywhere on it.
// Everything follows the model once per event-loop turn.
class MainView : public QWidget {
    Q_OBJECT
public:
    // What the view asks of the application beyond the model.
    struct Shell {
        std::function<void()> checkForUpdates;
        std::function<void()> openSupport;
        std::function<void(AppearancePreference)> setAppearance;
        // The model's alerts, which the batches sheet asks its questions through; without them
        // that sheet is not offered.
        ModelPanels* alerts = nullptr;
        std::function<void(const std::filesystem::path&)> reveal;
        // Where the export sheet asks for a folder; the desktop's own dialog when none is given.
        FolderPanelPort* folderPanel = nullptr;
    };

    MainView(AppModel& model, Shell shell, QWidget* parent = nullptr);
    ~MainView() override;

    bool comparing() const;
    // True while a drag of local files hovers over the window.
    bool isTargeted() const { return targeted_; }
    // Results are on screen: the results screen, at least one developed picture, no lightbox.
    bool resultsOnScreen() const;

    TopBar* topBar() const { return topBar_; }
    // Null while the batch has pictures.
    EmptySheet* emptySheet() const { return empty_; }
    // Null while the batch is empty.
    TileGrid* grid() const { return grid_; }
    BottomBar* bottomBar() const { return bottomBar_; }
    // The nudge band on input, the results band on results; null while the batch is empty.
    QWidget* band() const { return band_; }
    // Null while no picture is shown large.
    LightboxView* lightbox() const { return lightbox_; }
    CompareHint* compareHint() const { return hint_; }
    QWidget* dropHighlight() const { return highlight_; }
    SheetPresenter& presenter() { return *presenter_; }
    CompareKeys& keys() { return *keys_; }

    // The local files of a drag in its order; remote addresses are left out.
    static std::vector<std::filesystem::path> localFiles(const QMimeData& data);
    // Brings everything up to date now rather than at the end of the turn.
    void refreshNow();
    // While quitting waits for the library's writes: the bottom bar, when there is one, says so at once.
    void showSaving();
    // How many times the view has followed the model since it was made: the check that keeps a
    // slider's drag cheap reads it.
    int refreshes() const { return refreshes_; }

Q_SIGNALS:
    // A tile's context menu or its "find the original" button: the shell answers, as it holds the
    // panels and the file manager.
    void tileMenuRequested(std::shared_ptr<oxel::BatchItem> item, QPoint globalPosition);
    void locateRequested(std::shared_ptr<oxel::BatchItem> item);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    void showWorkingArea();
    void buildBatchArea();
    void showBand();
    void showLightbox();
    void placeOverlays();
    void setTargeted(bool targeted);
    void comparingChanged(bool comparing);
    void refreshHint();
    void tellCoach();
    std::unique_ptr<SheetPresenter> makePresenter();

    AppModel& model_;
    Shell shell_;
    QVBoxLayout* column_;
    TopBar* topBar_;
    EmptySheet* empty_ = nullptr;
    QWidget* batchArea_ = nullptr;
    QWidget* band_ = nullptr;
    bool resultsBand_ = false;
    LightboxView* lightbox_ = nullptr;
    TileGrid* grid_ = nullptr;
    BottomBar* bottomBar_ = nullptr;
    CompareHint* hint_;
    QWidget* highlight_;
    std::unique_ptr<CompareKeys> keys_;
    std::unique_ptr<FolderPanelPort> ownFolderPanel_;
    std::unique_ptr<SheetPresenter> presenter_;
    bool targeted_ = false;
    int refreshes_ = 0;
    struct Watched;
    std::unique_ptr<Watched> watched_;
    ModelWatch watch_;
    Connection coachChanged_;
};

// The main screen as the window's content makes it, fresh each time it is routed to.
RootView::MainScreenMaker mainViewMaker(AppModel& model, MainView::Shell shell);

} // namespace oxel
