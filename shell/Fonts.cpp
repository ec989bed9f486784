// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Fonts.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QStringList>
#include <cmath>

namespace fonts {

namespace {
// A window family, the name an English Windows lists it under, the carried file that
// stands in for it, and the file and family of that font when a build carries it cut down
// to the program's characters (a cut-down font may not carry the original's names).
struct Carried {
    const char* family;
    const char* englishName;
    const char* file;
    const char* subsetFile;
    const char* subsetFamily;
};
constexpr Carried kCarried[] = {
    {Mincho, "MS PMincho", "ipamp.ttf", "porome-pmincho.ttf", "Porome PMincho"},
    {Gothic, "MS Gothic", "ipag.ttf", "porome-gothic.ttf", "Porome Gothic"},
};
const QString kCarriedFolder = QStringLiteral(":/fonts");
} // namespace

void InstallSubstitutes()
{
    LoadCarriedFonts();
    QStringList mincho;
    QStringList gothic;
#ifdef Q_OS_WIN
    mincho << QString::fromUtf8(kCarried[0].englishName);
    gothic << QString::fromUtf8(kCarried[1].englishName);
#endif
    mincho << QStringLiteral("IPAPMincho") << QStringLiteral("IPAMincho") << QString::fromUtf8(kCarried[0].subsetFamily);
    gothic << QStringLiteral("IPAGothic") << QStringLiteral("IPAPGothic") << QString::fromUtf8(kCarried[1].subsetFamily);
    QFont::insertSubstitutions(QString::fromUtf8(Mincho), mincho);
    QFont::insertSubstitutions(QString::fromUtf8(Gothic), gothic);
}

QStringList CarriedFontsNeeded(const std::function<bool(const QString&)>& systemHas)
{
    QStringList needed;
    for (const Carried& c : kCarried) {
        if (!systemHas(QString::fromUtf8(c.family)) && !systemHas(QString::fromUtf8(c.englishName)))
            needed << QString::fromUtf8(c.file);
    }
    return needed;
}

int LoadCarriedFonts()
{
    // Only a build with carried fonts asks the font database, so others start as before.
    if (!QDir(kCarriedFolder).exists())
        return 0;
    int registered = 0;
    const QStringList files = CarriedFontsNeeded([](const QString& family) { return QFontDatabase::hasFamily(family); });
    for (const QString& file : files) {
        QString path = kCarriedFolder + QLatin1Char('/') + file;
        for (const Carried& c : kCarried) {
            if (file == QLatin1String(c.file) && !QFile::exists(path))
                path = kCarriedFolder + QLatin1Char('/') + QLatin1String(c.subsetFile);
        }
        if (QFontDatabase::addApplicationFont(path) >= 0)
            ++registered;
    }
    return registered;
}

int PixelsOf(double points)
{
    return static_cast<int>(std::lround(points * 96.0 / 72.0));
}

QFont Make(const char* family, double points, bool bold)
{
    QFont f(QString::fromUtf8(family));
    f.setPixelSize(PixelsOf(points));
    f.setBold(bold);
    return f;
}

} // namespace fonts
