#include "ui/kit/PortalColourScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

namespace oxel {
namespace {

const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");

// The settings side of a desktop portal. Like older portals, Read answers with the value wrapped
// in a second variant.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    std::atomic<uint> scheme{1};

public Q_SLOTS:
    QDBusVariant Read(const QString& settingNamespace, const QString& key)
    {
        if (settingNamespace != QLatin1String("org.freedesktop.appearance") || key != QLatin1String("color-scheme"))
            return QDBusVariant(QVariant::fromValue(QDBusVariant(QString())));
        return QDBusVariant(QVariant::fromValue(QDBusVariant(scheme.load())));
    }
};

// A private session bus with the fake portal on it, answering from a thread of its own so that
// the blocking read made on the main thread gets its reply.
class PortalColourSchemeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        daemon_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000)) GTEST_SKIP() << "no dbus-daemon";
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        service_ = QDBusConnection::connectToBus(address_, QStringLiteral("portal"));
        ASSERT_TRUE(service_.isConnected());
        ASSERT_TRUE(service_.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        portal_.moveToThread(&thread_);
        thread_.start();
        ASSERT_TRUE(service_.registerObject(portalPath, &portal_, QDBusConnection::ExportAllSlots));
    }

    void TearDown() override
    {
        thread_.quit();
        thread_.wait();
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        daemon_.kill();
        daemon_.waitForFinished();
    }

    QDBusConnection client() { return QDBusConnection::connectToBus(address_, QStringLiteral("client")); }

    void announce(uint scheme)
    {
        auto signal = QDBusMessage::createSignal(portalPath, settingsInterface, QStringLiteral("SettingChanged"));
        signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
               << QVariant::fromValue(QDBusVariant(scheme));
        service_.send(signal);
    }

    QProcess daemon_;
    QString address_;
    QDBusConnection service_{QStringLiteral("none")};
    FakePortal portal_;
    QThread thread_;
};

TEST_F(PortalColourSchemeTest, ReadsTheSchemeThroughBothVariants)
{
    PortalColourScheme scheme(client());
    EXPECT_EQ(scheme.colourScheme(), 1u);
    portal_.scheme = 2;
    EXPECT_EQ(scheme.colourScheme(), 2u);
}

TEST_F(PortalColourSchemeTest, HearsChangesAsTheyAreAnnounced)
{
    PortalColourScheme scheme(client());
    std::vector<std::uint32_t> heard;
    scheme.watch([&](std::uint32_t value) { heard.push_back(value); });
    // The bus sets up the subscription on its own time; a change announced before that is not
    // delivered, so the first one is repeated until it arrives.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (heard.empty()) announce(2);
            return !heard.empty();
        },
        5000));
    announce(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !heard.empty() && heard.back() == 0; }, 5000));
    EXPECT_EQ(heard.front(), 2u);
}

TEST(PortalColourScheme, NoBusMeansNoAnswer)
{
    PortalColourScheme scheme(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere")));
    EXPECT_EQ(scheme.colourScheme(), std::nullopt);
    scheme.watch([](std::uint32_t) {});
}

} // namespace
} // namespace oxel

#include "PortalColourSchemeTest.moc"
