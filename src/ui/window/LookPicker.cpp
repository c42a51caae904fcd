#include "ui/window/LookPicker.h"

#include "develop/grade/GradeLooks.h"
#include "library/BatchItem.h"
#include "model/AppModel.h"
#include "ui/kit/LookMark.h"
#include "ui/kit/PaintedButton.h"
#include "ui/kit/PixelImage.h"

#include <QHBoxLayout>

#include <algorithm>
#include <cmath>

namespace oxel {

namespace {

constexpr int runnerUp = 1;

// A look's button: the platform draws nothing, the mark and the thumbnail are all there is.
class LookButton : public PaintedButton {
public:
    LookButton(const PictureHandle& thumbnail, int height, QWidget* parent)
        : PaintedButton(parent), mark_(new LookMark(this))
    {
        const int width = LookPicker::thumbnailWidth(thumbnail.width(), thumbnail.height(), height);
        setFixedSize(width + 2 * LookMark::padding, height + 2 * LookMark::padding);
        mark_->setGeometry(rect());
        // Made from the whole result when first shown: behind the pictures of the tiles in view.
        mark_->picture()->setWorkPriority(WorkPriority::utility);
        mark_->picture()->setPicture(thumbnail);
        setCursor(Qt::PointingHandCursor);
    }

    LookMark* mark() const { return mark_; }

protected:
    void paintFace(QPainter&) override {}

private:
    LookMark* mark_;
};

} // namespace

LookPicker::LookPicker(AppModel& model, std::shared_ptr<BatchItem> item, int height, QWidget* parent)
    : QWidget(parent), model_(model), item_(std::move(item)), height_(height), row_(new QHBoxLayout(this))
{
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(6);
    row_->addStretch(1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    refresh();
}

int LookPicker::thumbnailWidth(int64_t width, int64_t height, int shownHeight)
{
    const double proportional = double(shownHeight) * double(width) / double(std::max<int64_t>(height, 1));
    return int(std::lround(std::min(proportional, double(shownHeight) * widestThumbnail)));
}

void LookPicker::refresh()
{
    if (builtFor_ != item_->result().get()) rebuild();
    markChosen();
}

void LookPicker::rebuild()
{
    for (auto* button : buttons_) delete button;
    buttons_.clear();
    marks_.clear();
    const auto& result = item_->result();
    builtFor_ = result.get();
    if (!result || result->lookThumbs.size() < 2) return;
    for (std::size_t index = 0; index < result->lookThumbs.size(); ++index) {
        auto* button = new LookButton(result->lookThumbs[index], height_, this);
        const bool alternative = int(index) == runnerUp;
        const bool housePick = index == 0;
        button->setToolTip(!housePick      ? QString("the runner-up look")
                           : result->looks ? QString::fromStdString(result->looks->chosen.brief)
                                           : QString());
        button->setLabel(housePick ? "the house's look" : "the runner-up look");
        connect(button, &QAbstractButton::clicked, this,
                [this, alternative] { model_.setUseAlternative(alternative, item_); });
        row_->insertWidget(int(index), button);
        buttons_.push_back(button);
        marks_.push_back(button->mark());
    }
}

void LookPicker::markChosen()
{
    for (std::size_t index = 0; index < marks_.size(); ++index)
        marks_[index]->setChosen((int(index) == runnerUp) == item_->useAlternative());
}

} // namespace oxel
