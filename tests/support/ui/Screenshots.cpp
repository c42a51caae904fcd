#include "support/ui/Screenshots.h"

#include "platform/Diagnostics.h"
#include "ui/kit/ApplicationPalette.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PixelImage.h"

#include <QPainter>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <unistd.h>

namespace oxel::screenshots {

namespace {

// Several test processes write at once: each writes the whole page under its own name and
// renames it into place, and every page lists every picture present.
void writeIndex()
{
    std::map<std::string, std::set<std::string>> shots;
    for (const auto& entry : std::filesystem::directory_iterator(folder())) {
        const auto name = entry.path().filename().string();
        for (const std::string suffix : {"-light.png", "-dark.png"})
            if (name.size() > suffix.size() && name.ends_with(suffix))
                shots[name.substr(0, name.size() - suffix.size())].insert(name);
    }
    const auto temporary = folder() / (".index-" + std::to_string(::getpid()) + ".html");
    {
        std::ofstream page(temporary);
        page << "<!doctype html>\n<meta charset=\"utf-8\">\n<title>oxel pro screenshots</title>\n"
                "<style>body{font-family:sans-serif;background:#888}td{padding:8px;vertical-align:top}"
                "img{display:block;image-rendering:pixelated}</style>\n<table>\n";
        for (const auto& [shot, files] : shots) {
            page << "<tr><td>" << shot << "</td>";
            for (const std::string suffix : {"-light.png", "-dark.png"})
                if (files.contains(shot + suffix)) page << "<td><img src=\"" << shot << suffix << "\"></td>";
            page << "</tr>\n";
        }
        page << "</table>\n";
    }
    std::filesystem::rename(temporary, folder() / "index.html");
}

// A picture on screen that its first paint sent off the main thread to be converted or scaled.
bool awaitsPicture(const PixelImage& view)
{
    if (view.visibleRegion().isEmpty()) return false;
    if (!view.handle().isNull()) return !view.holdsScaled();
    return !view.picture().isNull() && view.displayed().isNull();
}

// Paints the widget once and waits, briefly, for the pictures that paint sent away, so that
// both appearances show what a person sees a moment after the widget appears.
void paintPictures(QWidget& widget)
{
    widget.grab();
    const auto views = widget.findChildren<PixelImage*>();
    const bool shown = QTest::qWaitFor(
        [&] { return std::none_of(views.begin(), views.end(), [](auto* view) { return awaitsPicture(*view); }); });
    if (!shown) diagnose("screenshots", "a picture is still being made; it shows as an empty block");
}

} // namespace

std::filesystem::path folder()
{
    const std::filesystem::path path = OXEL_SCREENSHOT_DIR;
    std::filesystem::create_directories(path);
    return path;
}

QImage render(QWidget& widget, Appearance appearance)
{
    widget.setPalette(applicationPalette(appearance));
    widget.ensurePolished();
    const QImage painted = widget.grab().toImage();
    QImage image(painted.size(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(painted.devicePixelRatio());
    image.fill(Palette::paper().resolve(appearance));
    QPainter painter(&image);
    painter.drawImage(0, 0, painted);
    painter.end();
    return image.convertToFormat(QImage::Format_RGB32);
}

namespace {

void save(const Pair& pair, const QString& name)
{
    const auto base = folder() / name.toStdString();
    pair.light.save(QString::fromStdString(base.string() + "-light.png"));
    pair.dark.save(QString::fromStdString(base.string() + "-dark.png"));
    writeIndex();
}

QImage withDialog(QImage under, QWidget& dialog, Appearance appearance)
{
    const QImage over = render(dialog, appearance);
    const QRect place(QPoint((under.width() - over.width()) / 2, std::max(0, (under.height() - over.height()) / 3)),
                      over.size());
    QPainter painter(&under);
    painter.drawImage(place.topLeft(), over);
    // The window's edge, which the window manager would draw.
    painter.setPen(Palette::ink(0.45).resolve(appearance));
    painter.drawRect(place.adjusted(-1, -1, 0, 0));
    return under;
}

} // namespace

Pair capture(QWidget& widget, const QString& name)
{
    paintPictures(widget);
    Pair pair{render(widget, Appearance::light), render(widget, Appearance::dark)};
    widget.setPalette(QPalette());
    save(pair, name);
    return pair;
}

Pair capture(QWidget& widget, QWidget& dialog, const QString& name)
{
    paintPictures(widget);
    Pair pair{withDialog(render(widget, Appearance::light), dialog, Appearance::light),
              withDialog(render(widget, Appearance::dark), dialog, Appearance::dark)};
    widget.setPalette(QPalette());
    dialog.setPalette(QPalette());
    save(pair, name);
    return pair;
}

} // namespace oxel::screenshots
