#include "sheets/TileView.h"

#include "sheets/TileCard.h"
#include "sheets/TileClock.h"
#include "sheets/TileRules.h"
#include "ui/Appearance.h"
#include "ui/Fonts.h"
#include "ui/Palette.h"
#include "ui/PictureCorners.h"
#include "ui/PixelImage.h"
#include "ui/ProgressDots.h"
#include "ui/SheetButton.h"
#include "ui/TextLabel.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace oxel {
namespace {

constexpr double groundOpacity = 0.06;
constexpr int captionHeight = 14;
constexpr int cardPadding = 12;
constexpr int captionPadding = 8;

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

    auto* locate = new QPushButton(this);
    locate->setFlat(true);
    locate_ = locate;
    locate_->setFont(uiFont(11));
    locate_->setToolTip("find the original again");
    locate_->setCursor(Qt::PointingHandCursor);
    connect(locate_, &QAbstractButton::clicked, this, [this] { Q_EMIT locateRequested(item_); });
    layout_->addWidget(locate_, 0, Qt::AlignLeft);

    note_ = new TextLabel({}, uiFont(11), Palette::pencil(), this);
    note_->setWrapping(2);
    layout_->addWidget(note_);
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
}

TileView::~TileView() = default;

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

QRect TileView::pictureBlockRect() const
{
    return blockSpace_->geometry();
}

void TileView::refresh(BatchItem::Field field)
{
    using Field = BatchItem::Field;
    switch (field) {
    case Field::thumbnail:
    case Field::previewImage:
    case Field::originalPreview: refreshPicture(); break;
    case Field::phase:
        refreshPicture();
        refreshPhaseCard();
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
    case Field::note: refreshFooter(); break;
    default: break;
    }
}

void TileView::refreshPicture()
{
    const tile::Picture chosen = tile::chosenPicture(*item_, comparing_);
    const auto handle = tile::pictureHandle(*item_, chosen);
    const auto bitmap = handle ? handle->bitmap() : std::nullopt;
    picture_->setPicture(bitmap.value_or(Bitmap()));
    // Only the thumbnail is dimmed, and only while the item is in flight.
    picture_->setOpacity(chosen.opacity);
}

void TileView::refreshPhaseCard()
{
    delete phaseCard_;
    phaseCard_ = nullptr;
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
        auto* message = new QLabel(qt(card.caption), phaseCard_);
        message->setFont(uiFont(11));
        message->setWordWrap(true);
        message->setAlignment(Qt::AlignHCenter);
        message->setMaximumWidth(280);
        message->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        QPalette colours = message->palette();
        colours.setColor(QPalette::WindowText, Palette::accent().resolve(appearanceOf(*this)));
        message->setPalette(colours);
        phaseCard_->content()->addWidget(message, 0, Qt::AlignHCenter);
        if (card.retry) {
            auto* retry = new SheetButton("retry", false, phaseCard_);
            connect(retry, &QAbstractButton::clicked, this, [this] { Q_EMIT retryRequested(item_); });
            phaseCard_->content()->addWidget(retry, 0, Qt::AlignHCenter);
        }
        break;
    }
    }
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

void TileView::refreshFooter()
{
    const Availability& availability = item_->availability();
    const bool missing = availability.kind != Availability::Kind::present;
    locate_->setText(qt(availability.detail));
    QPalette colours = locate_->palette();
    colours.setColor(QPalette::ButtonText, Palette::accent().resolve(appearanceOf(*this)));
    locate_->setPalette(colours);
    locate_->setVisible(missing);
    note_->setText(qt(item_->note().value_or("")));
    note_->setVisible(item_->note().has_value());
    updateGeometry();
}

void TileView::placePictureBlock()
{
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
