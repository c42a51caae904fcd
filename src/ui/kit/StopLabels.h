#pragma once

#include <QWidget>

#include <array>

namespace oxel {

// The three stop names under a track, in a strip 14 high that spans the track: the first and last
// a fixed distance in from the ends, the middle one at half the width; each centred on its point.
class StopLabels : public QWidget {
    Q_OBJECT
public:
    struct Stop {
        QString text;
        // The centre's x: `inset` in from the left edge, or from the right one when `fromRight`.
        qreal inset = 0;
        bool fromRight = false;
        bool middle = false;
    };

    // "original", "refined", "full send".
    static std::array<Stop, 3> light();
    // "neutral", "subtle colour", "big colour".
    static std::array<Stop, 3> colour();

    explicit StopLabels(std::array<Stop, 3> stops, QWidget* parent = nullptr);

    static constexpr int stripHeight = 14;
    // Where a stop's centre lies in a strip `width` wide.
    static qreal centreOf(const Stop& stop, qreal width);
    const std::array<Stop, 3>& stops() const { return stops_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<Stop, 3> stops_;
};

} // namespace oxel
