#include "ui/kit/NudgeEditor.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Text.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPlainTextEdit>

#include <algorithm>
#include <cmath>

namespace oxel {

namespace {

// The editor's own margin round its text; with it the text starts where the example text does.
constexpr int documentMargin = 4;

struct Padding {
    int editorX, editorY, placeholderX, placeholderY;
};

Padding paddingFor(bool quiet)
{
    return quiet ? Padding{6, 3, 10, 7} : Padding{8, 6, 12, 10};
}

} // namespace

NudgeEditor::NudgeEditor(QString placeholder, bool quiet, int minHeight, int maxHeight, QWidget* parent)
    : InkFrame(InkBox{false, true, 0.9, quiet}, parent),
      placeholder_(std::move(placeholder)),
      quiet_(quiet),
      minHeight_(std::max(minHeight, 0)),
      maxHeight_(std::max(maxHeight, minHeight_)),
      editor_(new QPlainTextEdit(this))
{
    editor_->setFrameShape(QFrame::NoFrame);
    editor_->setFont(font());
    editor_->document()->setDocumentMargin(documentMargin);
    editor_->viewport()->setAutoFillBackground(false);
    editor_->setBackgroundVisible(false);
    // It scrolls by caret and wheel; a scroll bar would not fit the drawn box.
    editor_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor_->setTabChangesFocus(true);
    editor_->setAccessibleName(placeholder_);
    const Padding padding = paddingFor(quiet_);
    setContent(editor_, QMargins(padding.editorX, padding.editorY, padding.editorX, padding.editorY));
    applyColours();
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        fitHeight();
        update();
        if (!settingText_) Q_EMIT textChanged(text());
    });
    fitHeight();
}

QFont NudgeEditor::font() const
{
    return uiFont(quiet_ ? 12 : 14, FontWeight::regular);
}

QString NudgeEditor::text() const
{
    return editor_->toPlainText();
}

void NudgeEditor::setText(const QString& text)
{
    if (text == this->text()) return;
    settingText_ = true;
    editor_->setPlainText(text);
    settingText_ = false;
}

void NudgeEditor::setPlaceholder(const QString& placeholder)
{
    if (placeholder == placeholder_) return;
    placeholder_ = placeholder;
    editor_->setAccessibleName(placeholder_);
    if (!isPlaceholderShown()) return;
    fitHeight();
    update();
}

bool NudgeEditor::isPlaceholderShown() const
{
    return text().isEmpty();
}

void NudgeEditor::applyColours()
{
    const Appearance appearance = appearanceOf(*this);
    QPalette palette = editor_->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    QColor text = Palette::ink(0.92).resolve(appearance);
    text.setAlphaF(float(text.alphaF() * opacity()));
    palette.setColor(QPalette::Text, text);
    editor_->setPalette(palette);
}

void NudgeEditor::setOpacity(qreal opacity)
{
    InkFrame::setOpacity(opacity);
    applyColours();
}

QStringList NudgeEditor::placeholderLines() const
{
    if (placeholder_.isEmpty()) return {};
    const Padding padding = paddingFor(quiet_);
    const qreal lineSpacing = QFontMetricsF(font()).lineSpacing();
    const int fitting = std::max(1, int((maxHeight_ - 2 * padding.placeholderY) / lineSpacing));
    return wrappedLines(placeholder_, font(), width() - 2 * padding.placeholderX, fitting);
}

void NudgeEditor::fitHeight()
{
    // Measured here rather than asked of the editor, whose layout counts only the lines it has
    // already shown.
    const Padding padding = paddingFor(quiet_);
    const qreal textWidth = width() - 2 * (padding.editorX + documentMargin);
    const qreal lineSpacing = QFontMetricsF(font()).lineSpacing();
    const auto lines = std::max<qsizetype>(wrappedLines(text(), font(), textWidth).size(), 1);
    qreal content = lines * lineSpacing + 2 * (padding.editorY + documentMargin);
    // A long example wraps as typed text does, and the box makes room for it.
    if (isPlaceholderShown())
        content = std::max(content, placeholderLines().size() * lineSpacing + 2 * padding.placeholderY);
    setFixedHeight(std::clamp(int(std::ceil(content)), minHeight_, maxHeight_));
}

void NudgeEditor::paintEvent(QPaintEvent* event)
{
    InkFrame::paintEvent(event);
    if (!isPlaceholderShown() || placeholder_.isEmpty()) return;
    const Padding padding = paddingFor(quiet_);
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(opacity());
    painter.setFont(font());
    painter.setPen(Palette::ink(0.3).resolve(appearanceOf(*this)));
    const QFontMetricsF metrics(font());
    qreal baseline = padding.placeholderY + metrics.ascent();
    for (const QString& line : placeholderLines()) {
        painter.drawText(QPointF(padding.placeholderX, baseline), line);
        baseline += metrics.lineSpacing();
    }
}

void NudgeEditor::resizeEvent(QResizeEvent* event)
{
    InkFrame::resizeEvent(event);
    fitHeight();
}

void NudgeEditor::changeEvent(QEvent* event)
{
    InkFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) applyColours();
}

} // namespace oxel
