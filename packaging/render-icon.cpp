// SPDX-License-Identifier: GPL-3.0-or-later
// porome-render-icon: renders the program's SVG icon into square PNG files for the icon theme.
//   porome-render-icon ICON.svg SIZE OUT.png [SIZE OUT.png ...]
// Runs at build time; needs no display.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    // The icon is shapes only: painting it into an image needs no application object.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.size() < 4 || args.size() % 2 != 0) {
        std::fputs("usage: porome-render-icon ICON.svg SIZE OUT.png [SIZE OUT.png ...]\n", stderr);
        return 2;
    }
    QSvgRenderer svg(args[1]);
    if (!svg.isValid()) {
        std::fprintf(stderr, "porome-render-icon: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    for (int i = 2; i < args.size(); i += 2) {
        bool ok = false;
        const int size = args[i].toInt(&ok);
        if (!ok || size < 1 || size > 4096) {
            std::fprintf(stderr, "porome-render-icon: bad size %s\n", qPrintable(args[i]));
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        if (!image.save(args[i + 1], "PNG")) {
            std::fprintf(stderr, "porome-render-icon: cannot write %s\n", qPrintable(args[i + 1]));
            return 1;
        }
    }
    return 0;
}
