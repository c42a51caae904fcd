#pragma once

#include "ui/kit/ColourSchemeSource.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusMessage;

namespace oxel {

// The colour scheme as the desktop portal's settings interface on the session bus tells it.
class PortalColourScheme final : public QObject, public ColourSchemeSource {
    Q_OBJECT
public:
    explicit PortalColourScheme(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    std::optional<std::uint32_t> colourScheme() override;
    void watch(std::function<void(std::uint32_t)> changed) override;

private Q_SLOTS:
    void settingChanged(const QDBusMessage& message);

private:
    QDBusConnection bus_;
    std::function<void(std::uint32_t)> changed_;
};

} // namespace oxel
