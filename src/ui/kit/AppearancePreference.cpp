#include "ui/kit/AppearancePreference.h"

namespace oxel {

std::string_view rawText(AppearancePreference preference)
{
    switch (preference) {
    case AppearancePreference::dark: return "dark";
    case AppearancePreference::light: return "light";
    case AppearancePreference::system: return "system";
    }
    return "dark";
}

std::optional<AppearancePreference> appearancePreferenceFrom(std::string_view text)
{
    for (const auto preference : allAppearancePreferences)
        if (rawText(preference) == text) return preference;
    return std::nullopt;
}

Appearance windowAppearance(std::string_view storedText, Appearance systemAppearance)
{
    switch (appearancePreferenceFrom(storedText).value_or(AppearancePreference::dark)) {
    case AppearancePreference::light: return Appearance::light;
    case AppearancePreference::system: return systemAppearance;
    case AppearancePreference::dark: break;
    }
    return Appearance::dark;
}

} // namespace oxel
