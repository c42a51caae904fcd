#include "ui/kit/PortalColourScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace oxel {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colourSchemeKey = QStringLiteral("color-scheme");
// A portal that is not running must not hold up the first window for long.
constexpr int readTimeoutMs = 800;

// Older portals wrap the value of Read in a second variant.
std::optional<std::uint32_t> schemeFrom(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    bool ok = false;
    const auto scheme = value.toUInt(&ok);
    if (!ok) return std::nullopt;
    return scheme;
}

} // namespace

PortalColourScheme::PortalColourScheme(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus))
{}

std::optional<std::uint32_t> PortalColourScheme::colourScheme()
{
    if (!bus_.isConnected()) return std::nullopt;
    auto request = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    request << appearanceNamespace << colourSchemeKey;
    const auto reply = bus_.call(request, QDBus::Block, readTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    return schemeFrom(reply.arguments().constFirst());
}

void PortalColourScheme::watch(std::function<void(std::uint32_t)> changed)
{
    changed_ = std::move(changed);
    if (!bus_.isConnected()) return;
    bus_.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                 SLOT(settingChanged(QDBusMessage)));
}

// The whole message is taken rather than typed arguments: a typed slot connects only once the bus
// types happen to be registered, which a first watch before any call does not ensure.
void PortalColourScheme::settingChanged(const QDBusMessage& message)
{
    const auto arguments = message.arguments();
    if (arguments.size() != 3 || !changed_) return;
    if (arguments[0].toString() != appearanceNamespace || arguments[1].toString() != colourSchemeKey) return;
    if (const auto scheme = schemeFrom(arguments[2])) changed_(*scheme);
}

} // namespace oxel
