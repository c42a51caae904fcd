#pragma once

#include <QFont>
#include <QString>

namespace oxel {

enum class FontWeight { light, regular, medium };

// Where the interface faces are read from unless told otherwise.
QString defaultInterfaceFontFolder();

// Registers Inter Light, Regular and Medium from `folder` and makes the family the application's
// font. Without the files it takes an installed family "Inter", and without that the desktop's
// font, saying so on one line. Returns the family chosen.
QString installInterfaceFonts(const QString& folder = defaultInterfaceFontFolder());

// The interface face at a size in points and a weight. One point is one logical pixel, so the
// size is set in pixels; setting points would scale it by the screen's dots per inch.
QFont uiFont(double size, FontWeight weight = FontWeight::regular);

} // namespace oxel
