#include "shell/CommandLine.h"
#include "shell/Fonts.h"
#include "shell/Form1.h"
#include "shell/QtPlatform.h"
#include "shell/ScaledWindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

#include <cstdio>

namespace {

QStringList Arguments(int argc, char* argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

int RunWindow(int argc, char* argv[], const QString& scale)
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
    ScaledWindow top(window, RequestedScale(scale));
    top.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    SetApplicationNames();
    const CommandLine cl = ParseCommandLine(Arguments(argc, argv));
    switch (cl.mode) {
    case CommandLine::Mode::Exit:
        std::fputs(cl.message.toLocal8Bit().constData(), cl.toStderr ? stderr : stdout);
        return cl.exitCode;
    case CommandLine::Mode::Report:
        std::fputs("porome: --report is not built yet.\n", stderr);
        return 1;
    case CommandLine::Mode::Window:
        break;
    }
    return RunWindow(argc, argv, cl.scale);
}
