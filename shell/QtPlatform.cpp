// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/QtPlatform.h"
#include "shell/Fonts.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

namespace {
const QString kTitle = QStringLiteral("ポロメ");
}

void PrepareApplication()
{
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* qtJapanese = new QTranslator(QCoreApplication::instance());
    if (qtJapanese->load(QLocale(QLocale::Japanese), "qtbase", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtJapanese);
    fonts::InstallSubstitutes();
}

void QtPlatform::MsgBox(const QString& text)
{
    QMessageBox::information(window_, kTitle, text, QMessageBox::Ok);
}

bool QtPlatform::AskYesNo(const QString& text)
{
    return QMessageBox::question(window_, kTitle, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes)
           == QMessageBox::Yes;
}

void QtPlatform::Beep()
{
    QApplication::beep();
}

QTime QtPlatform::TimeOfDay()
{
    return QTime::currentTime();
}

void QtPlatform::WaitForNextSecond()
{
    // Sleep in the event loop until the wall clock's second changes. Painting goes on, so the
    // mark stays visible; presses and keys wait in the queue and are handled afterwards.
    const int start = QTime::currentTime().second();
    while (QTime::currentTime().second() == start) {
        const int msLeft = 1000 - QTime::currentTime().msec();
        QEventLoop loop;
        QTimer::singleShot(qBound(1, msLeft + 1, 1000), &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

void QtPlatform::EndProgram()
{
    if (window_)
        window_->close();
    QCoreApplication::quit();
}

int QtPlatform::ScreenWidthPixels()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 1024;
}
