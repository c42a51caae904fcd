#pragma once

#include "ui/window/ModelWatch.h"

#include <QWidget>

#include <memory>
#include <set>

class QHBoxLayout;
class QVBoxLayout;

namespace oxel {

class ColourRow;
class PixelImage;
class PaintedButton;
class SliderRow;
class TextLabel;

// One photograph of the batch over the whole window: the developed picture large (the original
// while comparing), its file name and facts, a hint and "close", for a developed picture its own
// light and colour, and its note. It follows its item: a preview or a result that arrives while
// it is open shows at once. Closing (the button, or a double click on the picture or the backdrop)
// clears the model's lightbox; the window takes it away.
class LightboxView : public QWidget {
    Q_OBJECT
public:
    explicit LightboxView(AppModel& model, QWidget* parent = nullptr);
    ~LightboxView() override;

    static constexpr double backdropOpacity = 0.97;

    const std::shared_ptr<BatchItem>& item() const { return item_; }
    void setItem(std::shared_ptr<BatchItem> item);
    bool comparing() const { return comparing_; }
    void setComparing(bool comparing);
    // Reads the item and the model again, now.
    void refresh();

    // The picture shown now, and the frame it is fitted into.
    PixelImage* shownPicture() const;
    QWidget* pictureArea() const { return pictureArea_; }
    TextLabel* infoLine() const { return info_; }
    TextLabel* hintLine() const { return hint_; }
    TextLabel* noteLine() const { return note_; }
    PaintedButton* closeButton() const { return close_; }
    // The light track row while the result has one; none otherwise.
    SliderRow* lightRow() const { return lightRow_; }
    ColourRow* colourRow() const { return colourRow_; }
    QWidget* adjustmentRow() const { return adjustments_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Corners;

    QWidget* buildTopRow();
    QWidget* buildPictureArea();
    void rebuildAdjustments();
    QWidget* buildLightColumn();
    QWidget* buildColourColumn();
    void refreshPictures();
    void refreshAdjustments();
    void close();

    AppModel& model_;
    std::shared_ptr<BatchItem> item_;
    bool comparing_ = false;
    const void* adjustmentsFor_ = nullptr;
    bool colourRowShown_ = false;

    QVBoxLayout* stack_;
    TextLabel* fileName_;
    TextLabel* info_;
    TextLabel* hint_;
    PaintedButton* close_;
    QWidget* pictureArea_;
    PixelImage* developed_;
    PixelImage* original_;
    Corners* corners_;
    QWidget* adjustments_ = nullptr;
    SliderRow* lightRow_ = nullptr;
    ColourRow* colourRow_ = nullptr;
    TextLabel* note_;
    // Where a double click reaches the backdrop: the gaps between the rows and the picture.
    std::set<const QWidget*> backdrop_;

    ModelWatch watch_;
};

} // namespace oxel
