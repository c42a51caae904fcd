#include "ui/window/ColourOnlyToggle.h"

#include "model/AppModel.h"
#include "ui/kit/BoxSwitch.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>
#include <QPainter>

namespace oxel {
namespace {

constexpr int spacing = 8;
constexpr qreal switchSide = 18;
constexpr int infoSide = 15;

// The "i" in its faint circle; the whole circle takes the click.
class InfoMark : public PaintedButton {
public:
    explicit InfoMark(QWidget* parent) : PaintedButton(parent)
    {
        setLabel(QStringLiteral("i"));
        setAccessibleName(QStringLiteral("two ways to develop"));
        setToolTip(QStringLiteral("two ways to develop"));
        setFixedSize(infoSide, infoSide);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintFace(QPainter& painter) override
    {
        const Appearance appearance = appearanceOf(*this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Palette::ink(0.3).resolve(appearance), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        painter.setFont(uiFont(10));
        painter.setPen(Palette::ink(0.4).resolve(appearance));
        painter.drawText(rect(), Qt::AlignCenter, text());
    }

    bool hitButton(const QPoint& position) const override
    {
        const QPointF offset = QPointF(position) - QRectF(rect()).center();
        return offset.x() * offset.x() + offset.y() * offset.y() <= (infoSide / 2.0) * (infoSide / 2.0);
    }
};

} // namespace

ColourOnlyToggle::ColourOnlyToggle(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, spacing, 0);
    row->setSpacing(spacing);
    row->addWidget(new TextLabel(QStringLiteral("colour only"), uiFont(12), Palette::ink(0.7)));
    switch_ = new BoxSwitch(switchSide);
    switch_->setAccessibleName(QStringLiteral("colour only"));
    // The switch shows the model's flag; a click only asks, so the turn it made is taken back.
    connect(switch_, &QAbstractButton::clicked, this, [this] {
        refresh();
        model_.colourOnlyTapped();
    });
    row->addWidget(switch_);
    info_ = new InfoMark(this);
    connect(info_, &QAbstractButton::clicked, this, [this] { model_.presentColourExplainer(); });
    row->addWidget(info_);
    refresh();
}

void ColourOnlyToggle::refresh()
{
    switch_->setOn(model_.colourOnlyOn());
}

} // namespace oxel
