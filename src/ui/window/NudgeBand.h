#pragma once

#include "ui/window/BatchSlider.h"
#include "ui/window/ModelWatch.h"

#include <QWidget>

#include <cstddef>

class QTimer;

namespace oxel {

class AppModel;
class NudgeEditor;
class LinkButton;
class SliderRow;
class TextLabel;

// The band over the tile grid on the input screen: the batch nudge with an example that changes
// every 4 s while it is empty, its help text and "reset", and, when the batch look carries over to
// later batches, the batch light and colour. While colour only is in force a nudge means nothing
// and the band says what colour only does instead.
class NudgeBand : public QWidget {
    Q_OBJECT
public:
    explicit NudgeBand(AppModel& model, QWidget* parent = nullptr);
    ~NudgeBand() override;

    static constexpr int placeholderSeconds = 4;

    // One firing of the placeholder clock.
    void tick();
    std::size_t placeholderIndex() const { return placeholderIndex_; }
    // Reads the model and the stored preference again, now.
    void refresh();

    NudgeEditor* editor() const { return editor_; }
    bool showsColourOnlyHeader() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* buildNudgeContent();
    QWidget* buildColourOnlyHeader();
    SliderRow* buildSliderRow(BatchSlider slider, QWidget* parent);

    AppModel& model_;
    std::size_t placeholderIndex_ = 0;
    QTimer* placeholderTimer_;
    QWidget* nudgeContent_;
    QWidget* colourOnlyHeader_;
    TextLabel* help_ = nullptr;
    LinkButton* reset_ = nullptr;
    NudgeEditor* editor_ = nullptr;
    QWidget* sliders_ = nullptr;
    SliderRow* light_ = nullptr;
    SliderRow* colour_ = nullptr;
    ModelWatch watch_;
};

} // namespace oxel
