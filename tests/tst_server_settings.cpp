// SPDX-License-Identifier: GPL-3.0-or-later
// porome-server's settings file: a good one starts the server, a wrong one stops it with one
// line naming the setting; the tool's key is made at the first start, readable by it alone.
#include "server/Crypto.h"
#include "server/Server.h"
#include "server/Settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// The settings a school would write; each row changes them with `name = value` lines put into
// their sections (a value of "-" takes the name out) after a [SECTION] line naming where they
// go; "-[SECTION]" takes the section out.
const char* kGood = "[server]\n"
                    "listen = 127.0.0.1:0\n"
                    "public = https://porome.example.ed.jp   ; the address the portal uses\n"
                    "page = @DIR@/page\n"
                    "key = @DIR@/state/tool-key.pem\n"
                    "[lrs]\n"
                    "endpoint = https://lrs.example.ed.jp/xapi/\n"
                    "key = k\n"
                    "secret = s\n"
                    "[platform.a]\n"
                    "issuer = https://portal-a.example.jp\n"
                    "clientId = c1\n"
                    "authUrl = https://portal-a.example.jp/auth\n"
                    "jwksUrl = https://portal-a.example.jp/jwks\n"
                    "deploymentIds = S_A123456789012, S_B123456789012\n";

QByteArray Changed(QByteArray ini, const QByteArray& changes)
{
    QByteArray section;
    for (const QByteArray& line : changes.split('\n')) {
        if (line.startsWith('[')) {
            section = line;
            if (!ini.contains(section + '\n'))
                ini += section + '\n';
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray name = line.left(eq).trimmed(), value = line.mid(eq + 1).trimmed();
        const qsizetype from = ini.indexOf(section + '\n') + section.size() + 1;
        const qsizetype next = ini.indexOf("\n[", from);
        const qsizetype to = next < 0 ? ini.size() : next + 1;
        QByteArray body = ini.mid(from, to - from);
        QList<QByteArray> lines = body.split('\n');
        lines.removeIf([&](const QByteArray& l) { return l.startsWith(name + " ") || l.startsWith(name + "="); });
        if (value != "-")
            lines.insert(0, name + " = " + value);
        body = lines.join('\n');
        if (!body.endsWith('\n'))
            body += '\n';
        ini = ini.left(from) + body + ini.mid(to);
    }
    return ini;
}

} // namespace

class ServerSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

    QByteArray Ini(const QByteArray& changes) const
    {
        return Changed(QByteArray(kGood), changes).replace("@DIR@", dir_.path().toUtf8());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QVERIFY(QDir(dir_.path()).mkpath("page") && QDir(dir_.path()).mkpath("state"));
        QFile page(dir_.filePath("page/index.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<!doctype html><title>p</title>");
        page.close();
        QFile pem(dir_.filePath("cert.pem"));
        QVERIFY(pem.open(QIODevice::WriteOnly));
        pem.write("not a certificate\n");
    }

    void settings_data()
    {
        QTest::addColumn<QByteArray>("changes");
        QTest::addColumn<QString>("problem");   // empty: the settings are taken
        QTest::newRow("as written") << QByteArray() << "";
        QTest::newRow("public missing") << QByteArray("[server]\npublic = -") << "server/public is not set";
        QTest::newRow("public http to another computer")
            << QByteArray("[server]\npublic = http://porome.example.ed.jp") << "server/public \"http://porome.example.ed.jp\"";
        QTest::newRow("public http on loopback") << QByteArray("[server]\npublic = http://127.0.0.1:8080") << "";
        QTest::newRow("public with a query")
            << QByteArray("[server]\npublic = https://porome.example.ed.jp/?a=1") << "server/public";
        QTest::newRow("listen not an address") << QByteArray("[server]\nlisten = porome:80") << "server/listen";
        QTest::newRow("listen plain http to others")
            << QByteArray("[server]\nlisten = 0.0.0.0:8080") << "server/listen \"0.0.0.0:8080\" is plain http";
        QTest::newRow("listen to others behind a proxy")
            << QByteArray("[server]\nlisten = 0.0.0.0:0\ntrustedProxies = 10.0.0.0/8") << "";
        QTest::newRow("trustedProxies not an address")
            << QByteArray("[server]\ntrustedProxies = proxy.example") << "server/trustedProxies";
        QTest::newRow("page without index.html") << QByteArray("[server]\npage = @DIR@/state") << "server/page";
        QTest::newRow("key in no folder") << QByteArray("[server]\nkey = @DIR@/none/k.pem") << "server/key";
        QTest::newRow("tlsCertificate without tlsKey")
            << QByteArray("[server]\ntlsCertificate = @DIR@/cert.pem") << "server/tlsKey is not set";
        QTest::newRow("tlsKey without tlsCertificate")
            << QByteArray("[server]\ntlsKey = @DIR@/cert.pem") << "server/tlsCertificate is not set";
        QTest::newRow("tlsCertificate unreadable")
            << QByteArray("[server]\ntlsCertificate = @DIR@/none.pem\ntlsKey = @DIR@/cert.pem") << "server/tlsCertificate";
        QTest::newRow("sessionHours 0") << QByteArray("[server]\nsessionHours = 0") << "server/sessionHours";
        QTest::newRow("a setting of no one") << QByteArray("[server]\nport = 80") << "server/port is not a setting";
        QTest::newRow("lrs endpoint missing") << QByteArray("[lrs]\nendpoint = -") << "lrs/endpoint is not set";
        QTest::newRow("lrs endpoint http to another computer")
            << QByteArray("[lrs]\nendpoint = http://lrs.example.ed.jp/xapi/") << "lrs/endpoint \"http://lrs.example.ed.jp/xapi/\" is plain http";
        QTest::newRow("lrs endpoint http on loopback") << QByteArray("[lrs]\nendpoint = http://127.0.0.1:8081/xapi/") << "";
        QTest::newRow("lrs endpoint with a password")
            << QByteArray("[lrs]\nendpoint = https://u:p@lrs.example.ed.jp/xapi/") << "lrs/endpoint";
        QTest::newRow("lrs key missing") << QByteArray("[lrs]\nkey = -") << "lrs/key is not set";
        QTest::newRow("lrs secret missing") << QByteArray("[lrs]\nsecret = -") << "lrs/secret is not set";
        QTest::newRow("platform without issuer") << QByteArray("[platform.a]\nissuer = -") << "platform.a/issuer is not set";
        QTest::newRow("platform without clientId") << QByteArray("[platform.a]\nclientId = -") << "platform.a/clientId is not set";
        QTest::newRow("platform without jwksUrl") << QByteArray("[platform.a]\njwksUrl = -") << "platform.a/jwksUrl is not set";
        QTest::newRow("platform without authUrl") << QByteArray("[platform.a]\nauthUrl = -") << "platform.a/authUrl is not set";
        QTest::newRow("platform jwksUrl http to another computer")
            << QByteArray("[platform.a]\njwksUrl = http://portal-a.example.jp/jwks") << "platform.a/jwksUrl";
        QTest::newRow("deploymentIds missing") << QByteArray("[platform.a]\ndeploymentIds = -") << "platform.a/deploymentIds";
        QTest::newRow("deploymentIds empty") << QByteArray("[platform.a]\ndeploymentIds =") << "platform.a/deploymentIds";
        QTest::newRow("deploymentIds only commas") << QByteArray("[platform.a]\ndeploymentIds = , ,") << "platform.a/deploymentIds";
        QTest::newRow("homePage not an IRI") << QByteArray("[platform.a]\nhomePage = portal a") << "platform.a/homePage";
        QTest::newRow("no platform") << QByteArray("-[platform.a]") << "no [platform.NAME] section";
        QTest::newRow("same registration twice")
            << QByteArray("[platform.b]\nissuer = https://portal-a.example.jp\nclientId = c1\nauthUrl = "
                          "https://portal-a.example.jp/auth\njwksUrl = https://portal-a.example.jp/jwks\ndeploymentIds = S_C")
            << "platform.b registers issuer https://portal-a.example.jp with client c1 again";
        QTest::newRow("a second platform") << QByteArray("[platform.b]\nissuer = https://portal-b.example.jp\nclientId = c1\n"
                                                         "authUrl = https://portal-b.example.jp/auth\njwksUrl = "
                                                         "https://portal-b.example.jp/jwks\ndeploymentIds = S_C")
                                           << "";
    }
    void settings()
    {
        QFETCH(QByteArray, changes);
        QFETCH(QString, problem);
        QByteArray ini = Ini(changes.startsWith("-[") ? QByteArray() : changes);
        if (changes.startsWith("-["))   // that section taken out
            ini = ini.left(ini.indexOf(changes.mid(1)));
        QString why;
        const auto settings = server::ParseSettings(ini, &why);
        if (problem.isEmpty()) {
            QVERIFY2(settings, qPrintable(why));
            server::Server server(*settings, crypto::NewRsaKey());
            server.SetLog([](const QString&) {});
            QVERIFY2(server.Start(&why), qPrintable(why));
            QVERIFY(server.Port() != 0);
            return;
        }
        QVERIFY2(!settings, ini.constData());
        QVERIFY2(why.startsWith(problem), qPrintable(why));
        QVERIFY(!why.contains(QLatin1Char('\n')));
    }

    // What is taken as written, and what a setting left out defaults to.
    void values()
    {
        QString why;
        const auto s = server::ParseSettings(
            Ini("[server]\npublic = https://porome.example.ed.jp/tool/\n[platform.a]\n"
                "deploymentIds = S_A123456789012,, S_B123456789012 ,\n[platform.b]\nissuer = https://portal-b.example.jp\n"
                "clientId = c2\nauthUrl = https://portal-b.example.jp/auth\njwksUrl = https://portal-b.example.jp/jwks\n"
                "deploymentIds = S_C\nhomePage = https://accounts.portal-b.example.jp/"),
            &why);
        QVERIFY2(s, qPrintable(why));
        QCOMPARE(s->publicUrl.toString(), QString("https://porome.example.ed.jp/tool"));
        QCOMPARE(s->listenAddress, QHostAddress(QHostAddress::LocalHost));
        QCOMPARE(s->sessionHours, 12);
        QCOMPARE(s->lrs.endpoint.toString(), QString("https://lrs.example.ed.jp/xapi/"));
        QCOMPARE(s->platforms.size(), 2);
        QCOMPARE(s->platforms[0].homePage, QString("https://portal-a.example.jp"));   // the issuer
        QCOMPARE(s->platforms[0].deploymentIds, (QStringList{"S_A123456789012", "S_B123456789012"}));
        QCOMPARE(s->platforms[1].homePage, QString("https://accounts.portal-b.example.jp/"));
        QCOMPARE(s->Find("https://portal-b.example.jp"), &s->platforms[1]);
        QCOMPARE(s->Find("https://portal-a.example.jp", "c2"), nullptr);
    }

    // The tool's key: made at the first start with mode 0600, the same at the next; a key
    // others may read stops the start naming server/key.
    void keyFile()
    {
        const QString file = dir_.filePath("state/first.pem");
        QString why;
        const crypto::Key made = crypto::LoadOrCreateKey(file, &why);
        QVERIFY2(made, qPrintable(why));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0600);
        const crypto::Key again = crypto::LoadOrCreateKey(file, &why);
        QVERIFY2(again, qPrintable(why));
        QCOMPARE(crypto::PublicJwk(again), crypto::PublicJwk(made));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(!crypto::LoadOrCreateKey(file, &why));
        QVERIFY2(why.startsWith("server/key " + file + " may be read by others (mode 0644)"), qPrintable(why));
    }
};

QTEST_GUILESS_MAIN(ServerSettings)
#include "tst_server_settings.moc"
