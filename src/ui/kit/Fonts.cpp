#include "ui/kit/Fonts.h"

#include "platform/Diagnostics.h"

#include <QFontDatabase>
#include <QGuiApplication>

#include <cmath>

namespace oxel {

namespace {

const QString interFamily = QStringLiteral("Inter");

bool registerFaces(const QString& folder)
{
    bool all = true;
    for (const char* face : {"Inter-Light.otf", "Inter-Regular.otf", "Inter-Medium.otf"}) {
        const int id = QFontDatabase::addApplicationFont(folder + QLatin1Char('/') + QLatin1String(face));
        all = all && id >= 0 && QFontDatabase::applicationFontFamilies(id).contains(interFamily);
    }
    return all;
}

QFont::Weight qtWeight(FontWeight weight)
{
    switch (weight) {
    case FontWeight::light: return QFont::Light;
    case FontWeight::medium: return QFont::Medium;
    case FontWeight::regular: break;
    }
    return QFont::Normal;
}

} // namespace

QString defaultInterfaceFontFolder()
{
    return QStringLiteral(OXEL_INTERFACE_FONT_DIR);
}

QString installInterfaceFonts(const QString& folder)
{
    QString family = interFamily;
    if (!registerFaces(folder) && !QFontDatabase::families().contains(interFamily)) {
        family = QGuiApplication::font().family();
        diagnose("fonts", "the Inter font is not installed; using " + family.toStdString());
    }
    QFont font = QGuiApplication::font();
    font.setFamily(family);
    QGuiApplication::setFont(font);
    return family;
}

QFont uiFont(double size, FontWeight weight)
{
    QFont font(QGuiApplication::font().family());
    font.setPixelSize(std::max(1, int(std::lround(size))));
    font.setWeight(qtWeight(weight));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace oxel
