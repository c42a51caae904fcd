#pragma once

#include "ui/kit/Appearance.h"

#include <QImage>
#include <QString>

#include <filesystem>

class QWidget;

namespace oxel::screenshots {

// <build>/screenshots, where every interface test writes its pictures for a reviewer to look at,
// listed by an index.html contact sheet.
std::filesystem::path folder();

// The widget painted at its current size in one appearance, laid on paper as a sheet or a
// window would show it. The widget keeps the appearance's palette afterwards.
QImage render(QWidget& widget, Appearance appearance);

struct Pair {
    QImage light;
    QImage dark;
};

// Renders the widget in both appearances, once the pictures its first paint asked for are there,
// writes <name>-light.png and <name>-dark.png and brings index.html up to date. The widget then
// follows the application's palette again.
Pair capture(QWidget& widget, const QString& name);

// The same with a dialog over the widget, centred across it a third of the way down, where a
// window manager puts a dialog over its parent window.
Pair capture(QWidget& widget, QWidget& dialog, const QString& name);

} // namespace oxel::screenshots
