#pragma once

#include "ui/kit/Appearance.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// The photographer's choice of appearance, stored as its raw text.
enum class AppearancePreference { dark, light, system };

inline constexpr std::array<AppearancePreference, 3> allAppearancePreferences = {
    AppearancePreference::dark, AppearancePreference::light, AppearancePreference::system};

inline constexpr std::string_view appearancePreferenceKey = "appearancePreference";
inline constexpr AppearancePreference defaultAppearancePreference = AppearancePreference::dark;

std::string_view rawText(AppearancePreference preference);
// Nothing for any text but the three raw texts, which are matched exactly.
std::optional<AppearancePreference> appearancePreferenceFrom(std::string_view text);

// The appearance the window is given for a stored text: its own for "dark" and "light", the
// system's for "system", and dark for any other text (the stored default).
Appearance windowAppearance(std::string_view storedText, Appearance systemAppearance);

} // namespace oxel
