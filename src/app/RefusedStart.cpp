#include "app/RefusedStart.h"

#include "app/Application.h"
#include "app/ForwardedStarts.h"
#include "app/LaunchArguments.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdlib>
#include <string_view>

namespace oxel {
namespace {

// An offscreen or minimal platform has no one to read the alert, and without a display Qt cannot
// start at all: there the line on standard error is all.
bool screenToShowOn()
{
    if (const char* platform = std::getenv("QT_QPA_PLATFORM"); platform && *platform) {
        const std::string_view name(platform);
        return !name.starts_with("offscreen") && !name.starts_with("minimal");
    }
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

} // namespace

size_t RefusedStart::photographsNotOpened(const LaunchArguments& own, ForwardedStarts& handedOver)
{
    const auto photographs = [](const LaunchArguments& start) {
        return start.openedFiles.size() + start.handoffFiles.size();
    };
    size_t count = photographs(own);
    for (const auto& arguments : handedOver.close())
        if (const auto start = parseLaunchArguments(arguments, "/", applicationUrlSchemes()).arguments)
            count += photographs(*start);
    return count;
}

QString RefusedStart::message(size_t photographs)
{
    QString text = QStringLiteral("oxel pro is already open on this library");
    if (photographs == 1) text += QStringLiteral(" · the photograph was not opened");
    if (photographs > 1) text += QStringLiteral(" · the photographs were not opened");
    return text;
}

std::unique_ptr<QMessageBox> RefusedStart::alert(size_t photographs)
{
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(QStringLiteral("oxel pro"));
    box->setIcon(QMessageBox::Information);
    box->setText(message(photographs));
    QPushButton* ok = box->addButton(QStringLiteral("ok"), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    return box;
}

void RefusedStart::show(int& argc, char** argv, size_t photographs)
{
    if (!screenToShowOn()) return;
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("oxel pro"));
    alert(photographs)->exec();
}

} // namespace oxel
