// SPDX-License-Identifier: GPL-3.0-or-later
// What porome.exe carries for Windows: the IPA fonts, cut down to the program's characters,
// standing in for the window's families where the system lacks them, and Qt's Japanese
// button texts found through the embedded qt.conf. This program links the same resources
// as the Windows build.
#include "shell/Fonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

class CarriedTest : public QObject
{
    Q_OBJECT
private slots:
    void fontsNeeded_data()
    {
        QTest::addColumn<QStringList>("systemFamilies");
        QTest::addColumn<QStringList>("needed");
        const QString pMincho = QString::fromUtf8("ＭＳ Ｐ明朝");
        const QString gothic = QString::fromUtf8("ＭＳ ゴシック");
        const QStringList both{"ipamp.ttf", "ipag.ttf"};
        QTest::newRow("neither (Wine)") << QStringList{"Tahoma", "Arial"} << both;
        QTest::newRow("Japanese Windows") << QStringList{pMincho, gothic, "Meiryo"} << QStringList{};
        QTest::newRow("English names only") << QStringList{"MS PMincho", "MS Gothic"} << QStringList{};
        QTest::newRow("only the Gothic") << QStringList{gothic} << QStringList{"ipamp.ttf"};
        QTest::newRow("only the P Mincho") << QStringList{"MS PMincho"} << QStringList{"ipag.ttf"};
        QTest::newRow("Mincho without P is not enough")
            << QStringList{QString::fromUtf8("ＭＳ 明朝"), "MS Mincho", gothic} << QStringList{"ipamp.ttf"};
        QTest::newRow("P Gothic is not the Gothic")
            << QStringList{pMincho, QString::fromUtf8("ＭＳ Ｐゴシック"), "MS PGothic"} << QStringList{"ipag.ttf"};
        QTest::newRow("system IPA fonts do not count") << QStringList{"IPAPMincho", "IPAGothic"} << both;
    }
    void fontsNeeded()
    {
        QFETCH(QStringList, systemFamilies);
        QFETCH(QStringList, needed);
        QCOMPARE(fonts::CarriedFontsNeeded([&](const QString& f) { return systemFamilies.contains(f); }), needed);
    }

    // Each carried file is the family the substitutes name first.
    void carriedFamilies_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("family");
        QTest::newRow("mincho") << ":/fonts/porome-pmincho.ttf" << "Porome PMincho";
        QTest::newRow("gothic") << ":/fonts/porome-gothic.ttf" << "Porome Gothic";
    }
    void carriedFamilies()
    {
        QFETCH(QString, file);
        QFETCH(QString, family);
        const int id = QFontDatabase::addApplicationFont(file);
        QVERIFY2(id >= 0, qPrintable(file));
        QCOMPARE(QFontDatabase::applicationFontFamilies(id), QStringList{family});
        QFontDatabase::removeApplicationFont(id);
    }

    void loadsWhatIsNeeded()
    {
        const int needed = int(fonts::CarriedFontsNeeded([](const QString& f) { return QFontDatabase::hasFamily(f); }).size());
        QCOMPARE(fonts::LoadCarriedFonts(), needed);
        QVERIFY(QFontDatabase::hasFamily("Porome PMincho"));
        QVERIFY(QFontDatabase::hasFamily("Porome Gothic"));
    }

    void translationsInResources()
    {
        QCOMPARE(QLibraryInfo::path(QLibraryInfo::TranslationsPath), QString(":/translations"));
    }

    // The confirmations answer はい / いいえ, loaded the way the program loads them.
    void buttonTexts_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("yes") << int(QMessageBox::Yes) << QString::fromUtf8("はい");
        QTest::newRow("no") << int(QMessageBox::No) << QString::fromUtf8("いいえ");
    }
    void buttonTexts()
    {
        QFETCH(int, button);
        QFETCH(QString, text);
        QTranslator qtJapanese;
        QVERIFY(qtJapanese.load(QLocale(QLocale::Japanese), "qtbase", "_",
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
        QApplication::installTranslator(&qtJapanese);
        QMessageBox box(QMessageBox::Question, "", "?", QMessageBox::Yes | QMessageBox::No);
        const QString shown = box.button(QMessageBox::StandardButton(button))->text();
        QApplication::removeTranslator(&qtJapanese);
        QVERIFY2(shown.startsWith(text), qPrintable(shown));
    }
};

QTEST_MAIN(CarriedTest)
#include "tst_carried.moc"
