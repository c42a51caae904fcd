#include "ui/kit/ApplicationPalette.h"

#include "ui/kit/Palette.h"

namespace oxel {

QPalette applicationPalette(Appearance appearance)
{
    const QColor paper = Palette::paper().resolve(appearance);
    const QColor ink = Palette::ink().resolve(appearance);
    const QColor text = Palette::ink(0.92).resolve(appearance);
    const QColor pencil = Palette::pencil().resolve(appearance);
    const QColor onInk = Palette::onInk().resolve(appearance);
    // The style derives bevels from these; opaque tints keep its arithmetic away from alpha.
    const QColor tint = mixed(paper, ink, 0.08);

    QPalette palette(ink, paper);
    palette.setColor(QPalette::Window, paper);
    palette.setColor(QPalette::Base, paper);
    palette.setColor(QPalette::AlternateBase, tint);
    palette.setColor(QPalette::Button, paper);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, onInk);
    palette.setColor(QPalette::Highlight, ink);
    palette.setColor(QPalette::HighlightedText, onInk);
    palette.setColor(QPalette::ToolTipBase, paper);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, Palette::ink(0.3).resolve(appearance));
    palette.setColor(QPalette::Link, text);
    palette.setColor(QPalette::LinkVisited, text);
    palette.setColor(QPalette::Light, paper);
    palette.setColor(QPalette::Midlight, tint);
    palette.setColor(QPalette::Mid, pencil);
    palette.setColor(QPalette::Dark, pencil);
    palette.setColor(QPalette::Shadow, ink);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, pencil);
    return palette;
}

} // namespace oxel
