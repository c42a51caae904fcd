#include "sheets/TileView.h"

#include "develop/TileBox.h"

#include "sheets/TileCard.h"
#include "sheets/TileClock.h"
#include "sheets/TileRules.h"
#include "ui/kit/Appearance.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/InkBoxLabel.h"
#include "ui/kit/LinkButton.h"
#include "ui/kit/NudgeEditor.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PictureCorners.h"
#include "ui/kit/PixelImage.h"
#include "ui/kit/ProgressDots.h"
#include "ui/kit/RowLabel.h"
#include "ui/kit/SliderValue.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/kit/TextLabel.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace oxel {
namespace {

constexpr double groundOpacity = 0.06;
constexpr int captionHeight = 14;
constexpr int cardPadding = 12;
constexpr int captionPadding = 8;
constexpr int nudgeHeight = 46;
constexpr int rowHeight = 22;
constexpr int rowLabelWidth = 40;
constexpr int valueWidth = 34;
// What a row is dimmed to: a nudge that colour only ignores, a light row without a result, and the
// colour-only marker in its place.
constexpr qreal ignoredNudgeOpacity = 0.35;
constexpr qreal lightWithoutResultOpacity = 0.35;
constexpr qreal colourOnlyMarkerOpacity = 0.7;
// The failure card's "retry": an 11 pt quiet box.
constexpr InkBoxLabel::Style retryStyle{
    .vertical = 3, .horizontal = 10, .inkOpacity = 0.85, .contentAlpha = 0.9, .fontSize = 11, .quiet = true};

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

TextLabel* lightText(const QString& text, const DynamicColour& colour, QWidget* parent)
{
    return new TextLabel(text, uiFont(11, FontWeight::light), colour, parent);
}

// The empty place the picture block takes in the tile's column: as tall as its ratio says.
class BlockSpace : public QWidget {
public:
    explicit BlockSpace(const bool& portrait, QWidget* parent) : QWidget(parent), portrait_(portrait)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return qRound(portrait_ ? width * 1.5 : width / 1.5); }
    QSize sizeHint() const override { return {180, heightForWidth(180)}; }

private:
    const bool& portrait_;
};

} // namespace

TileView::TileView(std::shared_ptr<BatchItem> item, TileClock& clock, QWidget* parent)
    : QWidget(parent), item_(std::move(item)), now_(clock.now()), layout_(new QVBoxLayout(this))
{
    layout_->setContentsMargins(cornerReach, cornerReach, cornerReach, cornerReach);
    layout_->setSpacing(spacing);
    blockSpace_ = new BlockSpace(portrait_, this);
    layout_->addWidget(blockSpace_);
    picture_ = new PixelImage(this);
    picture_->setAttribute(Qt::WA_TransparentForMouseEvents);
    buildCaptionRow();
    buildLowerPart();
    layout_->addStretch();

    itemChanged_ = item_->changed.connect([this](BatchItem::Field field) { refresh(field); });
    clock.join(this, *item_, [this](Date now) {
        now_ = now;
        refreshProgress();
    });
    refreshPicture();
    refreshPhaseCard();
    refreshExportCard();
    refreshFooter();
    applyAccent();
}

TileView::~TileView() = default;

void TileView::applyAccent()
{
    const QColor accent = Palette::accent().resolve(appearanceOf(*this));
    if (failure_) {
        QPalette failure = failure_->palette();
        failure.setColor(QPalette::WindowText, accent);
        failure_->setPalette(failure);
    }
}

void TileView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) applyAccent();
}

void TileView::buildCaptionRow()
{
    auto* row = new QWidget(this);
    row->setFixedHeight(captionHeight);
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(spacing);
    fileName_ = lightText(qt(tile::fileName(*item_)), Palette::pencil(), row);
    details_ = lightText(qt(tile::detailsLine(*item_)), Palette::pencil(), row);
    fileName_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    rowLayout->addWidget(fileName_, 1);
    rowLayout->addWidget(details_, 0, Qt::AlignRight);
    layout_->addWidget(row);
}

void TileView::setComparing(bool comparing)
{
    if (comparing_ == comparing) return;
    comparing_ = comparing;
    refreshPicture();
}

void TileView::setPortrait(bool portrait)
{
    if (portrait_ == portrait) return;
    portrait_ = portrait;
    blockSpace_->updateGeometry();
    updateGeometry();
}

int TileView::pictureHeight(int blockWidth) const
{
    return blockSpace_->heightForWidth(blockWidth);
}

int TileView::heightForWidth(int width) const
{
    return layout_->heightForWidth(width);
}

QSize TileView::sizeHint() const
{
    const int width = 180 + 2 * cornerReach;
    return {width, heightForWidth(width)};
}

void TileView::releasePixmaps()
{
    picture_->releaseScaled();
}

void TileView::setInSight(bool inSight)
{
    if (std::exchange(inSight_, inSight) == inSight) return;
    for (auto* picture : findChildren<PixelImage*>()) picture->setInSight(inSight);
}

bool TileView::holdsPixmaps() const
{
    return picture_->holdsScaled();
}

QRect TileView::pictureBlockRect() const
{
    return blockSpace_->geometry();
}

void TileView::refresh(BatchItem::Field field)
{
    using Field = BatchItem::Field;
    switch (field) {
    case Field::thumbnail:
    case Field::developedThumbnail:
    case Field::developedCopy: refreshPicture(); break;
    case Field::previewImage:
    case Field::originalPreview: refreshPicture(); break;
    case Field::phase:
        refreshPicture();
        refreshPhaseCard();
        refreshLowerPart();
        update();
        break;
    case Field::startedAt: refreshProgress(); break;
    case Field::exportProgress:
    case Field::exportWaiting: refreshExportCard(); break;
    case Field::url:
    case Field::source:
        fileName_->setText(qt(tile::fileName(*item_)));
        details_->setText(qt(tile::detailsLine(*item_)));
        break;
    case Field::availability:
        refreshFooter();
        refreshLowerPart();
        break;
    case Field::note: refreshFooter(); break;
    case Field::result: buildLowerPart(); break;
    case Field::unlinkedNudge:
    case Field::addition:
    case Field::strengthTouched: refreshLowerPart(); break;
    default: break;
    }
}

void TileView::setScreen(Screen screen)
{
    if (screen_ == screen) return;
    screen_ = screen;
    buildLowerPart();
}

void TileView::setGlobalNudge(const std::string& nudge)
{
    if (nudge == globalNudge_) return;
    globalNudge_ = nudge;
    refreshLowerPart();
}

void TileView::setColourOnlyInForce(bool inForce)
{
    if (inForce == colourOnlyInForce_) return;
    colourOnlyInForce_ = inForce;
    refreshLowerPart();
}

void TileView::setStrength(double strength)
{
    if (strength == strength_) return;
    strength_ = strength;
    refreshLowerPart();
}

void TileView::buildLowerPart()
{
    delete lowerPart_;
    delete unlinked_;
    lowerPart_ = nullptr;
    nudge_ = nullptr;
    unlinked_ = nullptr;
    lightLabel_ = nullptr;
    track_ = nullptr;
    strengthValue_ = nullptr;
    lowerPart_ = screen_ == Screen::input ? buildNudgeEditor() : buildResultRows();
    layout_->insertWidget(2, lowerPart_);
    lowerPart_->show();
    refreshLowerPart();
}

QWidget* TileView::buildNudgeEditor()
{
    auto* holder = new QWidget(this);
    auto* stack = new QVBoxLayout(holder);
    stack->setContentsMargins(0, 0, 0, 0);
    nudge_ = new NudgeEditor({}, true, nudgeHeight, nudgeHeight, holder);
    stack->addWidget(nudge_);
    connect(nudge_, &NudgeEditor::textChanged, this, [this](const QString& text) { Q_EMIT nudgeEdited(item_, text); });

    return holder;
}

// Made the first time the item's nudge parts from the batch's, then shown and hidden with it: most
// tiles never need it.
void TileView::buildUnlinkedBadge()
{
    // The badge sits over the editor's top-right corner, a little outside it.
    // The badge belongs to the tile, so it can reach past the editor's corner onto the caption row.
    auto* card = new TileCard(0, 0, this, 1);
    unlinked_ = card;
    card->content()->setContentsMargins(4, 0, 4, 0);
    auto* badge = new QHBoxLayout;
    badge->setSpacing(spacing);
    card->content()->addLayout(badge);
    badge->addWidget(new TextLabel("unlinked", uiFont(11), Palette::pencil(), unlinked_));
    auto* relink = new LinkButton("relink", LinkButton::pencil(Palette::ink(0.8)), unlinked_);
    connect(relink, &QAbstractButton::clicked, this, [this] { Q_EMIT nudgeRelinkRequested(item_); });
    badge->addWidget(relink);
    card->show();
}

void TileView::setColourRow(RowMaker maker, bool shown)
{
    const bool rebuild = shown != colourRowShown_ || (shown && !makeColourRow_);
    makeColourRow_ = std::move(maker);
    colourRowShown_ = shown;
    if (rebuild && screen_ == Screen::results) buildLowerPart();
}

QWidget* TileView::buildResultRows()
{
    QWidget* light = buildLightRow();
    if (!colourRowShown_ || !makeColourRow_) return light;
    auto* holder = new QWidget(this);
    auto* stack = new QVBoxLayout(holder);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(spacing);
    light->setParent(holder);
    stack->addWidget(light);
    stack->addWidget(makeColourRow_(holder));
    return holder;
}

QWidget* TileView::buildLightRow()
{
    auto* row = new QWidget(this);
    row->setFixedHeight(rowHeight);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    lightLabel_ = new RowLabel("light", rowLabelWidth, 11, row);
    line->addWidget(lightLabel_);
    if (tile::showsColourOnlyMarker(*item_)) {
        auto* marker = lightText("none · colour only", Palette::pencil(), row);
        lightLabel_->setOpacity(colourOnlyMarkerOpacity);
        marker->setOpacity(colourOnlyMarkerOpacity);
        line->addWidget(marker, 1);
        lightLabel_ = nullptr; // the marker's dimming never changes
        return row;
    }
    track_ = new StrengthTrack(row);
    track_->setTicks({0, 0.5, 1});
    track_->installEventFilter(this);
    connect(track_, &StrengthTrack::valueChanged, this, [this](double value) { Q_EMIT strengthDragged(item_, value); });
    line->addWidget(track_, 1);
    strengthValue_ = new SliderValue(12, FontWeight::light, row);
    strengthValue_->setFixedWidth(valueWidth);
    line->addWidget(strengthValue_, 0, Qt::AlignVCenter);
    return row;
}

void TileView::refreshLowerPart()
{
    if (nudge_) {
        const QString text = QString::fromStdString(item_->effectiveNudge(globalNudge_));
        if (nudge_->text() != text) nudge_->setText(text);
        nudge_->setEnabled(item_->canProcess() && !colourOnlyInForce_);
        nudge_->setOpacity(colourOnlyInForce_ ? ignoredNudgeOpacity : 1);
        const bool unlinked = item_->unlinkedNudge().has_value();
        if (unlinked && !unlinked_) buildUnlinkedBadge();
        if (unlinked_) unlinked_->setVisible(unlinked);
        placePictureBlock();
    }
    if (track_) {
        const qreal rowOpacity = item_->result() ? 1 : lightWithoutResultOpacity;
        lightLabel_->setOpacity(rowOpacity);
        track_->setRowOpacity(rowOpacity);
        track_->setTrackEnabled(tile::lightTrackEnabled(*item_));
        track_->setValue(strength_);
        if (item_->result())
            strengthValue_->setValue(strength_);
        else
            strengthValue_->clear();
        strengthValue_->setWeight(item_->strengthTouched() ? FontWeight::regular : FontWeight::light);
    }
}

bool TileView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == track_ && event->type() == QEvent::MouseButtonDblClick && track_->trackEnabled()) {
        Q_EMIT lightReset(item_);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TileView::refreshPicture()
{
    const tile::Picture chosen = tile::chosenPicture(*item_, comparing_);
    // Only the thumbnail is dimmed, and only while the item is in flight.
    picture_->setOpacity(chosen.opacity);
    // The item's developed picture is made at the size the tile draws it, and once let go it is the
    // renderer's to make again: the tile never makes a preview itself. It is handed over as the
    // cache holds it, so that a tile far from the view keeps no copy of its own.
    picture_->setMakesLetGoPictures(chosen.kind != tile::Picture::Kind::developedPreview || !item_->result());
    if (chosen.kind == tile::Picture::Kind::developedCopy) return picture_->setPicture(item_->developedCopy()->counted);
    picture_->setPicture(tile::pictureHandle(*item_, chosen).value_or(PictureHandle()));
}

void TileView::refreshPhaseCard()
{
    delete phaseCard_;
    phaseCard_ = nullptr;
    failure_ = nullptr;
    phaseDots_ = nullptr;
    statusLine_ = nullptr;
    const tile::PhaseCard card = tile::phaseCard(item_->phase());
    switch (card.kind) {
    case tile::PhaseCard::Kind::none: return;
    case tile::PhaseCard::Kind::caption:
        phaseCard_ = new TileCard(captionPadding, 0, this);
        phaseCard_->content()->addWidget(lightText(qt(card.caption), Palette::ink(0.85), phaseCard_));
        break;
    case tile::PhaseCard::Kind::progress: {
        phaseCard_ = new TileCard(cardPadding, 10, this);
        const auto& processing = std::get<phase::Processing>(item_->phase());
        phaseDots_ = new ProgressDots(tile::progressDotCount, 0, phaseCard_);
        statusLine_ = lightText({}, Palette::ink(0.85), phaseCard_);
        phaseCard_->content()->addWidget(phaseDots_, 0, Qt::AlignHCenter);
        phaseCard_->content()->addWidget(statusLine_, 0, Qt::AlignHCenter);
        if (const auto direction = tile::directionLine(processing)) {
            auto* line = lightText(qt(*direction), Palette::ink(0.55), phaseCard_);
            line->setWrapping(3);
            line->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
            line->setMaximumWidth(260);
            phaseCard_->content()->addWidget(line);
        }
        refreshProgress();
        break;
    }
    case tile::PhaseCard::Kind::failure: {
        phaseCard_ = new TileCard(cardPadding, 8, this);
        auto* message = failure_ = new QLabel(qt(card.caption), phaseCard_);
        message->setFont(uiFont(11));
        message->setWordWrap(true);
        message->setAlignment(Qt::AlignHCenter);
        message->setMaximumWidth(280);
        message->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        phaseCard_->content()->addWidget(message, 0, Qt::AlignHCenter);
        if (card.retry) {
            auto* retry = new InkBoxLabel("retry", retryStyle, phaseCard_);
            connect(retry, &QAbstractButton::clicked, this, [this] { Q_EMIT retryRequested(item_); });
            phaseCard_->content()->addWidget(retry, 0, Qt::AlignHCenter);
        }
        break;
    }
    }
    applyAccent();
    placePictureBlock();
    phaseCard_->show();
    if (exportCard_) exportCard_->raise();
}

void TileView::refreshProgress()
{
    const auto* processing = std::get_if<phase::Processing>(&item_->phase());
    if (!processing || !phaseDots_) return;
    phaseDots_->setProgress(tile::elapsedProgress(item_->startedAt(), now_));
    statusLine_->setText(qt(tile::statusLine(*processing, item_->startedAt(), now_)));
    placePictureBlock();
}

void TileView::refreshExportCard()
{
    const auto text = tile::exportCardText(*item_);
    if (!text) {
        delete exportCard_;
        exportCard_ = nullptr;
        exportDots_ = nullptr;
        exportLine_ = nullptr;
        return;
    }
    if (!exportCard_) {
        exportCard_ = new TileCard(cardPadding, 8, this);
        exportDots_ = new ProgressDots(tile::progressDotCount, 0, exportCard_);
        exportLine_ = lightText({}, Palette::ink(0.85), exportCard_);
        exportCard_->content()->addWidget(exportDots_, 0, Qt::AlignHCenter);
        exportCard_->content()->addWidget(exportLine_, 0, Qt::AlignHCenter);
        exportCard_->show();
    }
    exportDots_->setProgress(*item_->exportProgress());
    exportLine_->setText(qt(*text));
    exportCard_->raise();
    placePictureBlock();
}

// The locate button and the note are made the first time they have something to show, and kept
// from then on; a tile of a present original without a note holds neither.
void TileView::refreshFooter()
{
    const Availability& availability = item_->availability();
    const bool missing = availability.kind != Availability::Kind::present;
    if (missing && !locate_) {
        LinkButton::Look look = LinkButton::pencil(Palette::accent());
        look.underlined = false;
        look.wrapLines = 2;
        locate_ = new LinkButton({}, look, this);
        locate_->setToolTip("find the original again");
        connect(locate_, &QAbstractButton::clicked, this, [this] { Q_EMIT locateRequested(item_); });
        layout_->insertWidget(layout_->indexOf(lowerPart_) + 1, locate_);
    }
    if (locate_) {
        locate_->setLabel(qt(availability.detail));
        locate_->setVisible(missing);
    }
    const bool noted = item_->note().has_value();
    if (noted && !note_) {
        note_ = new TextLabel({}, uiFont(11), Palette::pencil(), this);
        note_->setWrapping(2);
        layout_->insertWidget(layout_->count() - 1, note_); // above the closing stretch
    }
    if (note_) {
        note_->setText(qt(item_->note().value_or("")));
        note_->setVisible(noted);
    }
    updateGeometry();
}

void TileView::placePictureBlock()
{
    if (unlinked_ && lowerPart_) {
        const QSize size = unlinked_->sizeHint();
        const QRect editor = lowerPart_->geometry();
        unlinked_->setGeometry(QRect(QPoint(editor.right() + 1 - 8 - size.width(), editor.top() - 8), size));
        unlinked_->raise();
    }
    const QRect block = pictureBlockRect();
    picture_->setGeometry(block);
    for (QWidget* card : {static_cast<QWidget*>(phaseCard_), static_cast<QWidget*>(exportCard_)}) {
        if (!card) continue;
        const QSize size = card->sizeHint().boundedTo(block.size());
        card->setGeometry(QRect(QPoint(), size).translated(block.center() - QRect(QPoint(), size).center()));
    }
}

void TileView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layout_->activate();
    placePictureBlock();
}

void TileView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const Appearance appearance = appearanceOf(*this);
    const QRect block = pictureBlockRect();
    painter.fillRect(block, Palette::ink(groundOpacity).resolve(appearance));
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF canvas = QRectF(block).adjusted(-cornerReach, -cornerReach, cornerReach, cornerReach);
    painter.translate(canvas.topLeft());
    drawTileCorners(painter, canvas.size(), item_->phase().isInFlight() ? 0.35 : 0.85, true, appearance);
}

void TileView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (pictureBlockRect().contains(event->position().toPoint())) Q_EMIT lightboxRequested(item_);
}

void TileView::contextMenuEvent(QContextMenuEvent* event)
{
    if (pictureBlockRect().contains(event->pos())) Q_EMIT contextMenuRequested(item_, event->globalPos());
}

} // namespace oxel
