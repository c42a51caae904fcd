#include "ui/kit/AppearanceController.h"

#include "platform/SettingsStore.h"
#include "ui/kit/ApplicationPalette.h"
#include "ui/kit/ApplicationStyle.h"
#include "ui/kit/PortalColourScheme.h"

#include <QApplication>

namespace oxel {

AppearanceController::Environment AppearanceController::Environment::standard()
{
    return {&SettingsStore::shared(), std::make_unique<PortalColourScheme>(), appearanceOf(QApplication::palette())};
}

AppearanceController::AppearanceController(Environment environment, QObject* parent)
    : QObject(parent), environment_(std::move(environment))
{
    QApplication::setStyle(new ApplicationStyle);
    if (environment_.source) {
        portalScheme_ = environment_.source->colourScheme();
        environment_.source->watch([this](std::uint32_t scheme) {
            portalScheme_ = scheme;
            refresh();
        });
    }
    refresh();
}

AppearanceController::~AppearanceController() = default;

AppearancePreference AppearanceController::preference() const
{
    const auto stored = environment_.settings->stringValue(appearancePreferenceKey);
    return appearancePreferenceFrom(stored.value_or("")).value_or(defaultAppearancePreference);
}

void AppearanceController::setPreference(AppearancePreference preference)
{
    environment_.settings->set(appearancePreferenceKey, rawText(preference));
    refresh();
}

void AppearanceController::refresh()
{
    const auto stored = environment_.settings->stringValue(appearancePreferenceKey);
    apply(windowAppearance(stored.value_or(std::string(rawText(defaultAppearancePreference))),
                           resolvedSystemAppearance()));
}

Appearance AppearanceController::resolvedSystemAppearance() const
{
    return systemAppearance(portalScheme_, environment_.platformPalette);
}

void AppearanceController::apply(Appearance appearance)
{
    if (applied_ && appearance == appearance_) return;
    appearance_ = appearance;
    applied_ = true;
    QApplication::setPalette(applicationPalette(appearance));
    Q_EMIT appearanceChanged(appearance);
}

} // namespace oxel
