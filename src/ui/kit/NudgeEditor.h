#pragma once

#include "ui/kit/InkFrame.h"

class QPlainTextEdit;

namespace oxel {

// The outlined multi-line field a nudge is written in: a plain text editor without a background
// of its own inside an `InkBox`, with the example text painted beneath it while the text is empty.
// It grows with its text from `minHeight` to `maxHeight`, then scrolls. The quiet variant is
// smaller and lighter, for tiles.
class NudgeEditor : public InkFrame {
    Q_OBJECT
public:
    NudgeEditor(QString placeholder, bool quiet, int minHeight, int maxHeight, QWidget* parent = nullptr);

    QString text() const;
    // Sets the text from outside; no `textChanged` comes back for it.
    void setText(const QString& text);
    // Only an empty text shows the example.
    bool isPlaceholderShown() const;
    const QString& placeholder() const { return placeholder_; }
    void setPlaceholder(const QString& placeholder);
    QPlainTextEdit* editor() const { return editor_; }
    // The typed text is dimmed with the box.
    void setOpacity(qreal opacity) override;

Q_SIGNALS:
    // Every keystroke.
    void textChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QFont font() const;
    void applyColours();
    void fitHeight();
    // The example's lines as they fit in the box: the last one that fits is cut with "…".
    QStringList placeholderLines() const;

    QString placeholder_;
    bool quiet_;
    int minHeight_, maxHeight_;
    QPlainTextEdit* editor_;
    bool settingText_ = false;
};

} // namespace oxel
