#pragma once

#include <QWidget>

namespace oxel {

// A row of small boxes joined by ink lines that fill from the left as the progress grows.
class ProgressDots : public QWidget {
    Q_OBJECT
public:
    ProgressDots(int count, double progress, QWidget* parent = nullptr);

    void setProgress(double progress);
    void setCount(int count);

    // Whether box `index` of `count` is filled at `progress`.
    static bool isFilled(int index, int count, double progress);

    static constexpr qreal boxSide = 7;
    static constexpr qreal connectorLength = 14;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void fitSize();

    int count_;
    double progress_;
};

} // namespace oxel
