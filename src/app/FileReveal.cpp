#include "app/FileReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QUrl>

namespace oxel {

namespace fs = std::filesystem;

fs::path revealFolder(const fs::path& file)
{
    fs::path folder = file.parent_path();
    std::error_code error;
    while (!folder.empty() && folder != folder.root_path() && !fs::is_directory(folder, error))
        folder = folder.parent_path();
    return folder.empty() ? fs::path("/") : folder;
}

void showInFolder(const fs::path& file, std::function<bool(const std::string& url)> openURL)
{
    auto openFolder = [openURL, file] {
        if (openURL)
            openURL(QUrl::fromLocalFile(QString::fromStdString(revealFolder(file).string())).toString().toStdString());
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    std::error_code error;
    if (!bus.isConnected() || !fs::exists(file, error)) {
        openFolder();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(QString::fromStdString(file.string())).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, openFolder] {
        if (watcher->isError()) openFolder();
        watcher->deleteLater();
    });
}

} // namespace oxel
