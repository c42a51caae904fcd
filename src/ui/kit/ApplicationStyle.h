#pragma once

#include <QProxyStyle>

namespace oxel {

// Fusion, which honours the whole palette, with the two stock controls the application still
// shows drawn in ink on paper like its own controls: a slider is a pencil line with an ink thumb,
// a scroll bar a faint ink handle on paper. Fusion's stock handles are shades of the button colour,
// which on dark paper all but vanish.
class ApplicationStyle final : public QProxyStyle {
    Q_OBJECT
public:
    ApplicationStyle();

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;

    // How strongly the handle of a scroll bar is inked, at rest and while pointed at or dragged.
    static constexpr double scrollHandleInk = 0.3;
    static constexpr double scrollHandleActiveInk = 0.5;

private:
    void drawSlider(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const;
    void drawScrollBar(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const;
};

} // namespace oxel
