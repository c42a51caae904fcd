#pragma once

#include <QWidget>

#include <optional>
#include <vector>

namespace oxel {

// The one slider: a pencil line with tick marks and a short ink thumb, on which a fraction from 0
// to 1 is dragged. The value follows the pointer on every move (`valueChanged`); `committed` comes
// once, when the pointer is released or a double click restored the reset value.
//
// The track's own `enabled` is not the widget's: a track that cannot be dragged still hears the
// pointer, keeps its value, and still commits when a drag ends.
class StrengthTrack : public QWidget {
    Q_OBJECT
public:
    explicit StrengthTrack(QWidget* parent = nullptr);

    double value() const { return value_; }
    // A value outside 0...1 is drawn at the nearest end and kept as it is until dragged.
    void setValue(double value);

    bool trackEnabled() const { return enabled_; }
    void setTrackEnabled(bool enabled);
    const std::optional<double>& resetValue() const { return resetValue_; }
    void setResetValue(std::optional<double> value) { resetValue_ = value; }
    // The dimming of the row the track stands in, over the track's own when it cannot be dragged.
    void setRowOpacity(qreal opacity);
    qreal rowOpacity() const { return rowOpacity_; }
    const std::vector<double>& ticks() const { return ticks_; }
    void setTicks(std::vector<double> ticks);

    // The geometry along a track `width` wide: the usable length, the x of a fraction, and the
    // fraction (clamped to 0...1) under an x.
    static double usableLength(double width);
    static double positionOf(double fraction, double width);
    static double fractionAt(double x, double width);

    static constexpr int trackHeight = 22;

    QSize sizeHint() const override { return {120, trackHeight}; }

Q_SIGNALS:
    void valueChanged(double value);
    void committed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void dragTo(double x);
    void write(double value);

    double value_ = 0;
    bool enabled_ = true;
    qreal rowOpacity_ = 1;
    std::optional<double> resetValue_;
    std::vector<double> ticks_;
    bool dragging_ = false;
    bool resetInThisClick_ = false;
};

} // namespace oxel
