// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Fonts.h"

#include <QStringList>
#include <cmath>

namespace fonts {

void InstallSubstitutes()
{
    QFont::insertSubstitutions(QString::fromUtf8(Mincho), QStringList() << QStringLiteral("IPAPMincho") << QStringLiteral("IPAMincho"));
    QFont::insertSubstitutions(QString::fromUtf8(Gothic), QStringList() << QStringLiteral("IPAGothic") << QStringLiteral("IPAPGothic"));
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
