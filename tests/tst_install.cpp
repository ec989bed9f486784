// SPDX-License-Identifier: GPL-3.0-or-later
// The installed program: cmake --install of this build into a fresh prefix, and what a desktop,
// a software centre and man find there.
#include "shell/CommandLine.h"
#include "support/Bounds.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

const QString AppId = QStringLiteral(POROME_APP_ID);

QString ReadText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

// The [Desktop Entry] group of a desktop file as key -> value, keys with their [locale].
QMap<QString, QString> DesktopEntry(const QString& text)
{
    QMap<QString, QString> keys;
    bool inEntry = false;
    for (const QString& line : text.split('\n')) {
        if (line.startsWith('['))
            inEntry = line == QStringLiteral("[Desktop Entry]");
        else if (inEntry && line.contains('=') && !line.startsWith('#'))
            keys.insert(line.section('=', 0, 0), line.section('=', 1));
    }
    return keys;
}

// The metainfo's elements as "path" or "path[lang]" -> text, and "path@attribute" -> value.
QMultiMap<QString, QString> Metainfo(const QString& text)
{
    QMultiMap<QString, QString> items;
    QXmlStreamReader xml(text);
    QStringList path;
    QStringList keys; // per open element: its path with the language it is written in
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            path << xml.name().toString();
            const QString here = path.join('/');
            const QString lang = xml.attributes().value(QStringLiteral("xml:lang")).toString();
            keys << (lang.isEmpty() ? here : here + "[" + lang + "]");
            for (const QXmlStreamAttribute& a : xml.attributes())
                if (a.qualifiedName() != QStringLiteral("xml:lang"))
                    items.insert(here + '@' + a.name().toString(), a.value().toString());
        } else if (xml.isCharacters() && !xml.isWhitespace() && !keys.isEmpty()) {
            items.insert(keys.last(), xml.text().toString().simplified());
        } else if (xml.isEndElement()) {
            path.removeLast();
            keys.removeLast();
        }
    }
    if (xml.hasError())
        items.insert(QStringLiteral("error"), xml.errorString());
    return items;
}

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT
    QTemporaryDir prefix;

    QString installed(const QString& relative) const { return prefix.filePath(relative); }

private slots:
    void initTestCase()
    {
        QVERIFY(prefix.isValid());
        QProcess cmake;
        cmake.setProcessChannelMode(QProcess::MergedChannels);
        cmake.start(QStringLiteral(POROME_CMAKE_COMMAND),
                    {"--install", POROME_BUILD_DIR, "--prefix", prefix.path()});
        QVERIFY(cmake.waitForFinished(bounds::ScaledMs(120000)));
        QVERIFY2(cmake.exitCode() == 0, cmake.readAll().constData());
    }

    void holdsFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("program") << "bin/porome";
        QTest::newRow("desktop entry") << "share/applications/" + AppId + ".desktop";
        QTest::newRow("metainfo") << "share/metainfo/" + AppId + ".metainfo.xml";
        QTest::newRow("scalable icon") << "share/icons/hicolor/scalable/apps/" + AppId + ".svg";
        for (const int size : {16, 32, 48, 64, 128, 256})
            QTest::addRow("icon %d", size) << QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(AppId);
        QTest::newRow("manual page") << "share/man/man1/porome.1.gz";
        QTest::newRow("copyright") << "share/doc/porome/copyright";
        QTest::newRow("changelog") << "share/doc/porome/changelog.gz";
    }
    void holdsFile()
    {
        QFETCH(QString, path);
        const QFileInfo info(installed(path));
        QVERIFY2(info.isFile(), qPrintable(path));
        QVERIFY(info.size() > 0);
        if (path.startsWith("bin/"))
            QVERIFY(info.isExecutable());
    }

    // Each rendering has its size, a clear background and the coloured third of the cake.
    void iconRendering_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {16, 32, 48, 64, 128, 256})
            QTest::addRow("%d", size) << size;
    }
    void iconRendering()
    {
        QFETCH(int, size);
        const QImage icon(installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(AppId)));
        QCOMPARE(icon.size(), QSize(size, size));
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(icon.pixel(size - 1, size - 1)), 0);
        const QColor cut = icon.pixelColor(size * 11 / 16, size * 6 / 16);
        QVERIFY2(cut.red() > 200 && cut.green() < 140 && cut.alpha() == 255, qPrintable(cut.name(QColor::HexArgb)));
        const QColor plain = icon.pixelColor(size * 5 / 16, size * 6 / 16);
        QVERIFY2(plain.lightness() > 230 && plain.alpha() == 255, qPrintable(plain.name(QColor::HexArgb)));
    }

    void desktopEntry_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("type") << "Type" << "Application";
        QTest::newRow("name") << "Name" << "ポロメ";
        QTest::newRow("generic name ja") << "GenericName[ja]" << "分数ドリル";
        QTest::newRow("generic name") << "GenericName" << "Fraction drill";
        // Files dropped on the icon, or opened with it, arrive as arguments.
        QTest::newRow("exec") << "Exec" << "porome %F";
        QTest::newRow("opens records") << "MimeType" << "text/csv;";
        QTest::newRow("icon") << "Icon" << AppId;
        QTest::newRow("categories") << "Categories" << "Education;Math;";
        QTest::newRow("terminal") << "Terminal" << "false";
        // X11 gives the window the application's name as its class.
        SetApplicationNames();
        QTest::newRow("window class") << "StartupWMClass" << QCoreApplication::applicationName();
        QTest::newRow("comment") << "Comment" << "*";
        QTest::newRow("comment ja") << "Comment[ja]" << "*";
        QTest::newRow("keywords") << "Keywords" << "*";
        QTest::newRow("keywords ja") << "Keywords[ja]" << "*";
    }
    void desktopEntry()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const auto entry = DesktopEntry(ReadText(installed("share/applications/" + AppId + ".desktop")));
        QVERIFY2(entry.contains(key), qPrintable(key));
        if (value == "*")
            QVERIFY(!entry.value(key).trimmed().isEmpty());
        else
            QCOMPARE(entry.value(key), value);
    }

    // The teacher's entry makes the class report; its command line is one the program takes.
    void teacherEntry()
    {
        const auto entry = DesktopEntry(ReadText(installed("share/applications/" + AppId + ".Report.desktop")));
        QCOMPARE(entry.value("Name"), QString("ポロメ　きろく"));
        QCOMPARE(entry.value("Icon"), AppId);
        const QStringList exec = entry.value("Exec").split(' ');
        QCOMPARE(exec.first(), QString("porome"));
        QCOMPARE(ParseCommandLine(exec).mode, CommandLine::Mode::TeacherReport);
    }

    void metainfo_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("value");
        QTest::newRow("id") << "component/id" << AppId;
        QTest::newRow("type") << "component@type" << "desktop-application";
        QTest::newRow("licence") << "component/project_license" << "GPL-3.0-or-later";
        QTest::newRow("name") << "component/name" << "ポロメ";
        QTest::newRow("launchable") << "component/launchable" << AppId + ".desktop";
        QTest::newRow("binary") << "component/provides/binary" << "porome";
        QTest::newRow("release") << "component/releases/release@version" << POROME_VERSION;
        QTest::newRow("release date") << "component/releases/release@date" << "*";
        QTest::newRow("rating") << "component/content_rating@type" << "oars-1.1";
        QTest::newRow("summary") << "component/summary" << "*";
        QTest::newRow("summary ja") << "component/summary[ja]" << "*";
        QTest::newRow("description") << "component/description/p" << "*";
        QTest::newRow("description ja") << "component/description/p[ja]" << "*";
        QTest::newRow("category education") << "component/categories/category" << "Education";
        QTest::newRow("category math") << "component/categories/category" << "Math";
        QTest::newRow("keyword") << "component/keywords/keyword" << "*";
        QTest::newRow("keyword ja") << "component/keywords/keyword[ja]" << "*";
    }
    void metainfo()
    {
        QFETCH(QString, item);
        QFETCH(QString, value);
        const auto info = Metainfo(ReadText(installed("share/metainfo/" + AppId + ".metainfo.xml")));
        QVERIFY2(!info.contains("error"), qPrintable(info.value("error")));
        const QStringList values = info.values(item);
        QVERIFY2(!values.isEmpty(), qPrintable(item));
        if (value != "*")
            QVERIFY2(values.contains(value), qPrintable(values.join(", ")));
        QVERIFY(!info.contains("component/screenshots"));
    }

    // The manual page has an entry under OPTIONS for every option that --help lists.
    void manualPage_data()
    {
        QTest::addColumn<QString>("option");
        const CommandLine help = ParseCommandLine({"porome", "--help"});
        const QRegularExpression option(QStringLiteral("^\\s+(?:-\\S, )*(--[a-z-]+)"),
                                        QRegularExpression::MultilineOption);
        for (auto m = option.globalMatch(help.message); m.hasNext();) {
            const QString name = m.next().captured(1);
            QTest::newRow(qPrintable(name)) << name;
        }
        QTest::newRow("-o") << "-o";
    }
    void manualPage()
    {
        QFETCH(QString, option);
        QString page = ReadText(QStringLiteral(POROME_SOURCE_DIR "/packaging/porome.1"));
        page.replace(QStringLiteral("\\-"), QStringLiteral("-"));
        page = page.section(QStringLiteral("\n.SH OPTIONS\n"), 1).section(QStringLiteral("\n.SH "), 0, 0);
        const QRegularExpression entry(QStringLiteral("^\\.TP\\n\\.[BIR]+ [^\\n]*")
                                           + QRegularExpression::escape(option) + "(?![-\\w])",
                                       QRegularExpression::MultilineOption);
        QVERIFY2(page.contains(entry), qPrintable(option + " has no entry in porome.1"));
    }

    void versionsAgree_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("manual page") << "packaging/porome.1" << "^\\.TH POROME 1 \\S+ \"porome (\\S+)\"";
        QTest::newRow("changelog") << "packaging/changelog" << "^porome \\((\\S+)\\)";
    }
    void versionsAgree()
    {
        QFETCH(QString, file);
        QFETCH(QString, pattern);
        const QString text = ReadText(QStringLiteral(POROME_SOURCE_DIR "/") + file);
        const auto m = QRegularExpression(pattern).match(text);
        QVERIFY2(m.hasMatch(), qPrintable(file));
        QCOMPARE(m.captured(1), QStringLiteral(POROME_VERSION));
    }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
