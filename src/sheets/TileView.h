#pragma once

#include "async/Signal.h"
#include "library/BatchItem.h"

#include <QWidget>

#include <functional>
#include <memory>

class QVBoxLayout;
class QLabel;
class QAbstractButton;

namespace oxel {

class LinkButton;
class NudgeEditor;
class PixelImage;
class RowLabel;
class SliderValue;
class StrengthTrack;
class ProgressDots;
class TextLabel;
class TileCard;
class TileClock;

// One photograph of the batch in the tile grid: the picture block with its phase and export
// cards and corner marks, the caption row with the file name and the original's facts, the
// button that finds a missing original, and the note. What the photographer asks of the tile
// leaves it as signals carrying the item, so work that ends after the tile is gone never needs it;
// the tile itself never writes the item.
class TileView : public QWidget {
    Q_OBJECT
public:
    // How far the corner marks reach beyond the picture block; the tile keeps that margin free.
    static constexpr int cornerReach = 6;
    static constexpr int spacing = 6;

    // Which screen of the main window the tile is on: the nudge editor shows on input, the light
    // row on results.
    enum class Screen { input, results };

    TileView(std::shared_ptr<BatchItem> item, TileClock& clock, QWidget* parent = nullptr);
    ~TileView() override;

    const std::shared_ptr<BatchItem>& item() const { return item_; }
    void setComparing(bool comparing);
    // Portrait batches get 2:3 blocks, landscape ones 3:2.
    void setPortrait(bool portrait);
    bool isPortrait() const { return portrait_; }
    QRect pictureBlockRect() const;
    // Lets the picture's scaled copy go while the tile is far from view; a paint makes it again.
    void releasePixmaps();
    // Whether the tile is on screen: its pictures, the looks' thumbnails too, are made only then.
    void setInSight(bool inSight);
    bool holdsPixmaps() const;
    // Builds the lower part for the screen; only that screen's controls exist.
    void setScreen(Screen screen);
    // The batch nudge the item's own nudge follows while linked.
    void setGlobalNudge(const std::string& nudge);
    // While colour-only grading is in force, nudges mean nothing: the editor is dimmed and locked.
    void setColourOnlyInForce(bool inForce);
    // The item's effective light strength, as the model works it out.
    void setStrength(double strength);
    // The colour row under the light row on the results screen: made by `maker` for the tile's
    // item while `shown` (the batch's rule); left out otherwise.
    using RowMaker = std::function<QWidget*(QWidget* parent)>;
    void setColourRow(RowMaker maker, bool shown);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

Q_SIGNALS:
    void lightboxRequested(std::shared_ptr<BatchItem> item);
    void retryRequested(std::shared_ptr<BatchItem> item);
    void locateRequested(std::shared_ptr<BatchItem> item);
    void contextMenuRequested(std::shared_ptr<BatchItem> item, QPoint globalPosition);
    // The photographer wrote `text` in the item's nudge editor.
    void nudgeEdited(std::shared_ptr<BatchItem> item, QString text);
    // "relink": the item's nudge should follow the batch's again.
    void nudgeRelinkRequested(std::shared_ptr<BatchItem> item);
    void strengthDragged(std::shared_ptr<BatchItem> item, double strength);
    // A double click on the light track: the item should follow the batch strength again.
    void lightReset(std::shared_ptr<BatchItem> item);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void buildCaptionRow();
    void refresh(BatchItem::Field field);
    void refreshPicture();
    void refreshPhaseCard();
    void refreshProgress();
    void refreshExportCard();
    void refreshFooter();
    void placePictureBlock();
    void buildLowerPart();
    QWidget* buildNudgeEditor();
    void buildUnlinkedBadge();
    QWidget* buildResultRows();
    QWidget* buildLightRow();
    void refreshLowerPart();
    // The failure text takes its colour from a palette: the accent of the current appearance.
    void applyAccent();
    int pictureHeight(int blockWidth) const;

    std::shared_ptr<BatchItem> item_;
    Connection itemChanged_;
    bool comparing_ = false;
    bool portrait_ = false;
    Screen screen_ = Screen::input;
    std::string globalNudge_;
    bool colourOnlyInForce_ = false;
    double strength_ = 0;
    RowMaker makeColourRow_;
    bool colourRowShown_ = false;
    bool inSight_ = true;
    std::chrono::system_clock::time_point now_;

    QVBoxLayout* layout_;
    QWidget* blockSpace_;
    PixelImage* picture_;
    TileCard* phaseCard_ = nullptr;
    ProgressDots* phaseDots_ = nullptr;
    TextLabel* statusLine_ = nullptr;
    TileCard* exportCard_ = nullptr;
    ProgressDots* exportDots_ = nullptr;
    TextLabel* exportLine_ = nullptr;
    QWidget* lowerPart_ = nullptr;
    NudgeEditor* nudge_ = nullptr;
    QWidget* unlinked_ = nullptr;
    QLabel* failure_ = nullptr;
    RowLabel* lightLabel_ = nullptr;
    StrengthTrack* track_ = nullptr;
    SliderValue* strengthValue_ = nullptr;
    TextLabel* fileName_;
    TextLabel* details_;
    LinkButton* locate_ = nullptr;
    TextLabel* note_ = nullptr;
};

} // namespace oxel
