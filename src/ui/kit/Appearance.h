#pragma once

class QPalette;
class QWidget;

namespace oxel {

// The two looks every colour of the palette has a variant for.
enum class Appearance { light, dark };

// The appearance a palette was built for: dark when its window colour is darker than middle grey.
// Widgets resolve their colours from it at paint time, so a palette change repaints them in the
// other variant without any widget being told.
Appearance appearanceOf(const QPalette& palette);
Appearance appearanceOf(const QWidget& widget);

} // namespace oxel
