#include "ui/screens/AppRootSource.h"

#include "backend/AuthService.h"
#include "model/AppModel.h"

namespace oxel {

AppRootSource::AppRootSource(AppModel& model, AuthService& auth, Shell shell)
    : model_(model), auth_(auth), shell_(std::move(shell))
{
    connections_.push_back(model_.changed.connect([this](AppModel::Field field) {
        if (field == AppModel::Field::updateRequired || field == AppModel::Field::announcement) publishChange();
    }));
    connections_.push_back(auth_.stateChanged.connect([this](const AuthState&) { publishChange(); }));
    connections_.push_back(auth_.busyChanged.connect([this](bool) { publishChange(); }));
    connections_.push_back(auth_.lastErrorChanged.connect([this](const auto&) { publishChange(); }));
}

AppRootSource::~AppRootSource() = default;

QVariantMap AppRootSource::messageOf(const Json& announcement)
{
    QVariantMap message;
    if (!announcement.is_object()) return message;
    for (const auto& [key, value] : announcement.items()) {
        const QString name = QString::fromStdString(key);
        if (value.is_string())
            message.insert(name, QString::fromStdString(value.get<std::string>()));
        else if (value.is_number())
            message.insert(name, value.get<double>());
        else if (value.is_boolean())
            message.insert(name, value.get<bool>());
        else
            message.insert(name, QByteArray::fromStdString(value.dump()));
    }
    return message;
}

bool AppRootSource::updateRequired() const
{
    return model_.updateRequired();
}

std::optional<QVariantMap> AppRootSource::announcement() const
{
    if (!model_.announcement()) return std::nullopt;
    return messageOf(*model_.announcement());
}

AuthState AppRootSource::authState() const
{
    return auth_.state();
}
bool AppRootSource::signInBusy() const
{
    return auth_.busy();
}

std::optional<QString> AppRootSource::signInError() const
{
    if (!auth_.lastError()) return std::nullopt;
    return QString::fromStdString(*auth_.lastError());
}

bool AppRootSource::appleConfigured() const
{
    return auth_.appleConfig().has_value();
}
bool AppRootSource::googleConfigured() const
{
    return auth_.googleConfig().has_value();
}
void AppRootSource::signInWithApple()
{
    scope_.spawn(auth_.signInWithApple());
}
void AppRootSource::signInWithGoogle()
{
    scope_.spawn(auth_.signInWithGoogle());
}

void AppRootSource::checkForUpdates()
{
    if (shell_.checkForUpdates) shell_.checkForUpdates();
}

void AppRootSource::dismissAnnouncement()
{
    model_.dismissAnnouncement();
}
void AppRootSource::refreshBalance()
{
    scope_.spawn(model_.refreshBalance());
}

void AppRootSource::openURL(const QUrl& url)
{
    if (shell_.openURL) shell_.openURL(url);
}

} // namespace oxel
