#pragma once

#include <QWidget>

namespace oxel {

class TextLabel;

// The page of every sheet: its title over its content, on paper, 22 from every edge, at least
// 380 wide; wider content widens it, and its height follows the content.
class SheetFrame : public QWidget {
    Q_OBJECT
public:
    SheetFrame(const QString& title, QWidget* content, QWidget* parent = nullptr);

    QWidget* content() const { return content_; }
    TextLabel* title() const { return title_; }

    static constexpr int minimumWidth = 380;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TextLabel* title_;
    QWidget* content_;
};

} // namespace oxel
