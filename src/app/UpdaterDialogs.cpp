#include "app/UpdaterDialogs.h"

#include <QMessageBox>
#include <QPushButton>

namespace oxel {

UpdaterDialogs::~UpdaterDialogs()
{
    if (current_) delete current_.data();
}

QMessageBox* UpdaterDialogs::replaceWith(const QString& text)
{
    if (current_) current_->close();
    auto* box = new QMessageBox(parent_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("oxel pro"));
    box->setText(text);
    box->setStandardButtons(QMessageBox::NoButton);
    current_ = box;
    return box;
}

void UpdaterDialogs::showChecking()
{
    QMessageBox* box = replaceWith(QStringLiteral("checking..."));
    box->addButton(QStringLiteral("cancel"), QMessageBox::RejectRole);
    box->show();
}

void UpdaterDialogs::showNewest(const std::string& version)
{
    QMessageBox* box = replaceWith(QStringLiteral("oxel pro %1 is the newest").arg(QString::fromStdString(version)));
    box->addButton(QStringLiteral("ok"), QMessageBox::AcceptRole);
    box->show();
}

void UpdaterDialogs::showAvailable(const std::string& version, std::function<void()> download)
{
    QMessageBox* box = replaceWith(QStringLiteral("oxel pro %1 is out").arg(QString::fromStdString(version)));
    QPushButton* downloadButton = box->addButton(QStringLiteral("download"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("later"), QMessageBox::RejectRole);
    box->setDefaultButton(downloadButton);
    QObject::connect(downloadButton, &QPushButton::clicked, box, [download = std::move(download)] { download(); });
    box->show();
}

void UpdaterDialogs::showFailed(const std::string& message)
{
    QMessageBox* box = replaceWith(QString::fromStdString(message));
    box->addButton(QStringLiteral("ok"), QMessageBox::AcceptRole);
    box->show();
}

void UpdaterDialogs::showPackageManaged()
{
    QMessageBox* box = replaceWith(QStringLiteral("updates to oxel pro come with your system's package manager."));
    box->addButton(QStringLiteral("ok"), QMessageBox::AcceptRole);
    box->show();
}

} // namespace oxel
