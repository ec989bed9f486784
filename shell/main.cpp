#include "shell/Fonts.h"
#include "shell/Form1.h"
#include "shell/QtPlatform.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    // Message boxes answer in Japanese: はい / いいえ and OK.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    QTranslator qtJapanese;
    if (qtJapanese.load(QLocale(QLocale::Japanese), "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtJapanese);
    fonts::InstallSubstitutes();

    QtPlatform platform;
    Form1 window(platform);
    platform.setWindow(&window);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
