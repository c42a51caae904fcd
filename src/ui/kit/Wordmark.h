#pragma once

#include <QWidget>

#include <optional>

namespace oxel {

// The product's name as it heads the sign-in screen and the top bar: "oxel" in medium weight,
// then, when given, a space and the qualifier in light weight, tightened by 2.5 % of the size.
class Wordmark : public QWidget {
    Q_OBJECT
public:
    Wordmark(std::optional<QString> qualifier, qreal size, QWidget* parent = nullptr);

    // The run as drawn: "oxel", or "oxel " followed by the qualifier.
    QString text() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont productFont() const;
    QFont qualifierFont() const;
    QString qualifierRun() const;

    std::optional<QString> qualifier_;
    qreal size_;
};

} // namespace oxel
