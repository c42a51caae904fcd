#pragma once

#include "ui/kit/Appearance.h"
#include "ui/kit/AppearancePreference.h"
#include "ui/kit/ColourSchemeSource.h"

#include <QObject>

#include <memory>
#include <optional>

class QApplication;

namespace oxel {

class SettingsStore;

// Keeps the application's look in step with the stored appearance preference and, for "system",
// with the desktop's colour scheme, live. Every change rebuilds the application palette (under
// the Fusion style, which honours all of it), so every window repaints in the other variants.
class AppearanceController final : public QObject {
    Q_OBJECT
public:
    struct Environment {
        SettingsStore* settings;
        std::unique_ptr<ColourSchemeSource> source;
        // The platform palette's look before ours replaced it; nothing when it is not known.
        std::optional<Appearance> platformPalette;

        static Environment standard();
    };

    // Sets the application's style (Fusion, with ink-on-paper sliders and scroll bars) and applies the stored preference at once.
    explicit AppearanceController(Environment environment, QObject* parent = nullptr);
    ~AppearanceController() override;

    Appearance appearance() const { return appearance_; }
    // The stored preference; the default when the stored text is none of the three.
    AppearancePreference preference() const;

    // Stores the preference under its key and applies it.
    void setPreference(AppearancePreference preference);
    // Applies what is stored now, for when someone else wrote the preference.
    void refresh();

Q_SIGNALS:
    void appearanceChanged(oxel::Appearance appearance);

private:
    void apply(Appearance appearance);
    Appearance resolvedSystemAppearance() const;

    Environment environment_;
    std::optional<std::uint32_t> portalScheme_;
    Appearance appearance_ = Appearance::dark;
    bool applied_ = false;
};

} // namespace oxel
