#pragma once

#include "async/Signal.h"
#include "library/BatchItem.h"

#include <QWidget>

#include <memory>

class QVBoxLayout;
class QLabel;
class QAbstractButton;

namespace oxel {

class PixelImage;
class ProgressDots;
class TextLabel;
class TileCard;
class TileClock;

// One photograph of the batch in the tile grid: the picture block with its phase and export
// cards and corner marks, the caption row with the file name and the original's facts, the
// button that finds a missing original, and the note. What the photographer asks of the tile
// leaves it as signals carrying the item, so work that ends after the tile is gone never needs it.
class TileView : public QWidget {
    Q_OBJECT
public:
    // How far the corner marks reach beyond the picture block; the tile keeps that margin free.
    static constexpr int cornerReach = 6;
    static constexpr int spacing = 6;

    TileView(std::shared_ptr<BatchItem> item, TileClock& clock, QWidget* parent = nullptr);
    ~TileView() override;

    const std::shared_ptr<BatchItem>& item() const { return item_; }
    void setComparing(bool comparing);
    // Portrait batches get 2:3 blocks, landscape ones 3:2.
    void setPortrait(bool portrait);
    bool isPortrait() const { return portrait_; }
    QRect pictureBlockRect() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

signals:
    void lightboxRequested(std::shared_ptr<BatchItem> item);
    void retryRequested(std::shared_ptr<BatchItem> item);
    void locateRequested(std::shared_ptr<BatchItem> item);
    void contextMenuRequested(std::shared_ptr<BatchItem> item, QPoint globalPosition);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
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
    int pictureHeight(int blockWidth) const;

    std::shared_ptr<BatchItem> item_;
    Connection itemChanged_;
    bool comparing_ = false;
    bool portrait_ = false;
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
    TextLabel* fileName_;
    TextLabel* details_;
    QAbstractButton* locate_;
    TextLabel* note_;
};

} // namespace oxel
