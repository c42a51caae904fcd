#pragma once

#include "async/Signal.h"

#include <QWidget>

#include <memory>
#include <vector>

class QHBoxLayout;

namespace oxel {

class AppModel;
class BatchItem;
class LookMark;
class PaintedButton;

// One image's looks side by side, the house's pick first and the runner-up second, each a small
// render of the image in that look; pressing one chooses it for the image. With fewer than two
// looks there is nothing to choose and the picker shows nothing.
class LookPicker : public QWidget {
    Q_OBJECT
public:
    LookPicker(AppModel& model, std::shared_ptr<BatchItem> item, int height, QWidget* parent = nullptr);

    // Builds the buttons for the item's result again and marks the chosen look.
    void refresh();
    int lookCount() const { return int(buttons_.size()); }
    PaintedButton* look(int index) const { return buttons_.at(std::size_t(index)); }
    LookMark* mark(int index) const { return marks_.at(std::size_t(index)); }

    // The width a thumbnail takes at `height`: its own proportions, a thumbnail 0 high counted
    // as 1 high, and never wider than `widestThumbnail` times its height, so that a broken
    // thumbnail cannot push the row wider than the window.
    static int thumbnailWidth(int64_t width, int64_t height, int shownHeight);
    static constexpr double widestThumbnail = 4;

private:
    void rebuild();
    void markChosen();

    AppModel& model_;
    std::shared_ptr<BatchItem> item_;
    int height_;
    QHBoxLayout* row_;
    std::vector<PaintedButton*> buttons_;
    std::vector<LookMark*> marks_;
    const void* builtFor_ = nullptr;
};

} // namespace oxel
