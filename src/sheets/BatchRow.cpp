#include "sheets/BatchRow.h"

#include "sheets/BatchThumbnails.h"
#include "sheets/SheetParts.h"
#include "ui/kit/BoxedField.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/TextLabel.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>

namespace oxel {

// The thumbnails, left to right, 3 apart; a file that gives no picture gives no cell.
class BatchRow::Strip : public QWidget {
public:
    Strip(std::vector<std::filesystem::path> files, BatchThumbnails& thumbnails)
        : files_(std::move(files)), thumbnails_(thumbnails)
    {
        setFixedSize(stripWidth, BatchThumbnails::cellSide);
        for (const auto& file : files_) thumbnails_.picture(file); // starts the decoding
        arrival_ = thumbnails_.arrived.connect([this](const std::filesystem::path& file) {
            if (std::find(files_.begin(), files_.end(), file) != files_.end()) update();
        });
    }

    std::vector<QImage> shown() const
    {
        std::vector<QImage> pictures;
        for (const auto& file : files_)
            if (auto picture = thumbnails_.picture(file); picture && !picture->isNull()) pictures.push_back(*picture);
        return pictures;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        constexpr int side = BatchThumbnails::cellSide;
        int x = 0;
        for (const QImage& picture : shown()) {
            const QSizeF size = picture.deviceIndependentSize();
            const QRectF cell(x, 0, side, side);
            const QRectF fitted(cell.center() - QPointF(size.width() / 2, size.height() / 2), size);
            painter.save();
            painter.setClipRect(cell);
            painter.drawImage(fitted, picture);
            painter.restore();
            x += side + 3;
        }
    }

private:
    std::vector<std::filesystem::path> files_;
    BatchThumbnails& thumbnails_;
    Connection arrival_;
};

BatchRow::BatchRow(BatchSummary summary, const Look& look, BatchThumbnails& thumbnails, QWidget* parent)
    : QWidget(parent), summary_(std::move(summary))
{
    std::vector<std::filesystem::path> files = summary_.thumbs;
    if (files.size() > 4) files.resize(4);
    strip_ = new Strip(std::move(files), thumbnails);

    auto* names = sheet::column(3);
    if (look.draft) {
        field_ = new BoxedField("name", 13, QMargins(6, 3, 6, 3));
        field_->editor()->setText(*look.draft);
        if (look.draftSelected) field_->editor()->selectAll();
        names->addWidget(field_);
        connect(field_->editor(), &QLineEdit::textEdited, this, &BatchRow::draftEdited);
        field_->editor()->installEventFilter(this);
    } else {
        names->addWidget(sheet::text(QString::fromStdString(summary_.record.name), 13, Palette::ink(0.9)));
    }
    names->addWidget(sheet::text(QString::fromStdString(look.detail), 11, Palette::pencil()));
    nameColumn_ = sheet::holding(names);

    auto* line = sheet::row(12);
    line->setContentsMargins(0, 8, 0, 8);
    line->addWidget(strip_, 0, Qt::AlignVCenter);
    line->addWidget(nameColumn_, 1, Qt::AlignVCenter);
    if (look.onScreen) {
        line->addWidget(sheet::text("on screen", 11, Palette::pencil()), 0, Qt::AlignVCenter);
    } else {
        auto* open = sheet::button("open", false);
        line->addWidget(open, 0, Qt::AlignVCenter);
        connect(open, &SheetButton::clicked, this, &BatchRow::openRequested);
    }
    setLayout(line);
    setFixedHeight(height);
}

int BatchRow::nameColumnX() const
{
    return nameColumn_->geometry().x();
}

int BatchRow::cellCount() const
{
    return int(strip_->shown().size());
}

bool BatchRow::eventFilter(QObject* watched, QEvent* event)
{
    if (!field_ || watched != field_->editor() || event->type() != QEvent::KeyPress) return false;
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: Q_EMIT renameCommitted(); return true;
    case Qt::Key_Escape: Q_EMIT renameCancelled(); return true;
    default: return false;
    }
}

void BatchRow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (field_) field_->editor()->setFocus(Qt::OtherFocusReason);
}

void BatchRow::mouseDoubleClickEvent(QMouseEvent*)
{
    Q_EMIT doubleClicked();
}

void BatchRow::contextMenuEvent(QContextMenuEvent* event)
{
    Q_EMIT menuRequested(event->globalPos());
}

} // namespace oxel
