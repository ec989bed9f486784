// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/Settings.h"

#include "xapi/Endpoint.h"
#include "xapi/Statements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>

namespace server {

namespace {

using Section = QMap<QString, QString>;

const QStringList kServerKeys{"listen", "public", "page", "key", "trustedProxies", "tlsCertificate", "tlsKey",
                              "sessionHours", "spool"};
const QStringList kLrsKeys{"endpoint", "key", "secret", "activityBase"};
const QStringList kReportKeys{"roster", "match"};
const QStringList kPlatformKeys{"issuer", "clientId", "authUrl", "tokenUrl", "jwksUrl", "deploymentIds", "homePage"};

// A value without its comment: a ; or # after a blank ends it, and "..." keeps everything.
QString ValueOf(QString text)
{
    text = text.trimmed();
    if (text.startsWith(QLatin1Char('"'))) {
        const qsizetype end = text.indexOf(QLatin1Char('"'), 1);
        if (end > 0)
            return text.mid(1, end - 1);
    }
    for (qsizetype i = 1; i < text.size(); ++i)
        if ((text[i] == QLatin1Char(';') || text[i] == QLatin1Char('#')) && text[i - 1].isSpace())
            return text.left(i).trimmed();
    return text;
}

// An address the server sends to or sends browsers to: https://, or http:// on this machine,
// as for every address a credential goes to.
bool Address(const QString& text, QUrl* url)
{
    *url = QUrl(text, QUrl::StrictMode);
    return xapi::CredentialProblem(*url).isEmpty();
}

QStringList List(const QString& text)
{
    QStringList out;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!part.trimmed().isEmpty())
            out << part.trimmed();
    return out;
}

} // namespace

bool Settings::Trusted(const QHostAddress& peer) const
{
    for (const auto& subnet : trustedProxies)
        if (peer.isInSubnet(subnet))
            return true;
    return false;
}

const Platform* Settings::Find(const QString& issuer, const QString& clientId) const
{
    const Platform* found = nullptr;
    for (const Platform& p : platforms)
        if (p.issuer == issuer && (clientId.isEmpty() || p.clientId == clientId)) {
            if (found)
                return nullptr;   // several registrations of the issuer and no client id to choose
            found = &p;
        }
    return found;
}

std::optional<Settings> ParseSettings(const QByteArray& bytes, QString* problem)
{
    const auto fail = [problem](const QString& why) {
        *problem = why;
        return std::nullopt;
    };
    // Sections in the order they come, keys as written.
    QHash<QString, Section> sections;
    QStringList order;
    QString current;
    int number = 0;
    for (const QString& raw : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        ++number;
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype end = line.indexOf(QLatin1Char(']'));
            if (end < 0)
                return fail(QStringLiteral("line %1: a section name without its ]").arg(number));
            current = line.mid(1, end - 1).trimmed();
            if (current != QLatin1String("server") && current != QLatin1String("lrs") && current != QLatin1String("report")
                && !(current.startsWith(QLatin1String("platform.")) && current.size() > 9))
                return fail(QStringLiteral("[%1] is not a section of these settings ([server], [lrs], "
                                           "[report], [platform.NAME])")
                                .arg(current));
            if (sections.contains(current))
                return fail(QStringLiteral("[%1] is there twice").arg(current));
            sections.insert(current, {});
            order << current;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || current.isEmpty())
            return fail(QStringLiteral("line %1 is neither a [section] nor a name = value in one").arg(number));
        const QString key = line.left(eq).trimmed();
        const QStringList& known = current == QLatin1String("server") ? kServerKeys
            : current == QLatin1String("lrs")                      ? kLrsKeys
            : current == QLatin1String("report")                   ? kReportKeys
                                                                    : kPlatformKeys;
        if (!known.contains(key))
            return fail(QStringLiteral("%1/%2 is not a setting").arg(current, key));
        if (sections[current].contains(key))
            return fail(QStringLiteral("%1/%2 is there twice").arg(current, key));
        sections[current].insert(key, ValueOf(line.mid(eq + 1)));
    }

    Settings s;
    const Section server = sections.value(QStringLiteral("server"));

    const QString listen = server.value(QStringLiteral("listen"), QStringLiteral("127.0.0.1:8080"));
    {
        const qsizetype colon = listen.lastIndexOf(QLatin1Char(':'));
        QString host = listen.left(colon);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        bool ok = false;
        const uint port = listen.mid(colon + 1).toUInt(&ok);
        if (colon <= 0 || !ok || port > 65535 || !s.listenAddress.setAddress(host))
            return fail(QStringLiteral("server/listen \"%1\" is not an address:port (such as 127.0.0.1:8080)").arg(listen));
        s.listenPort = quint16(port);
    }

    for (const QString& entry : List(server.value(QStringLiteral("trustedProxies")))) {
        auto subnet = QHostAddress::parseSubnet(entry);
        if (subnet.first.isNull()) {
            if (!subnet.first.setAddress(entry))
                return fail(QStringLiteral("server/trustedProxies: \"%1\" is not an address or a subnet").arg(entry));
            subnet.second = subnet.first.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32;
        }
        s.trustedProxies << subnet;
    }

    s.tlsCertificate = server.value(QStringLiteral("tlsCertificate"));
    s.tlsKey = server.value(QStringLiteral("tlsKey"));
    if (s.tlsCertificate.isEmpty() != s.tlsKey.isEmpty())
        return fail(s.tlsKey.isEmpty() ? QStringLiteral("server/tlsKey is not set, but server/tlsCertificate is")
                                       : QStringLiteral("server/tlsCertificate is not set, but server/tlsKey is"));
    for (const char* key : {"tlsCertificate", "tlsKey"}) {
        const QString file = server.value(QLatin1String(key));
        if (!file.isEmpty() && !QFileInfo(file).isReadable())
            return fail(QStringLiteral("server/%1 \"%2\" cannot be read").arg(QLatin1String(key), file));
    }
    if (!s.Tls() && !s.listenAddress.isLoopback() && s.trustedProxies.isEmpty())
        return fail(QStringLiteral("server/listen \"%1\" is plain http to other computers: set server/tlsCertificate "
                                   "and server/tlsKey, or name the proxy in front in server/trustedProxies")
                        .arg(listen));

    const QString pub = server.value(QStringLiteral("public"));
    if (pub.isEmpty())
        return fail(QStringLiteral("server/public is not set (the address the portal and the browsers use, such as "
                                   "https://porome.example.ed.jp)"));
    if (!Address(pub, &s.publicUrl) || s.publicUrl.hasQuery() || s.publicUrl.hasFragment())
        return fail(QStringLiteral("server/public \"%1\" is not an https:// address").arg(pub));
    while (s.publicUrl.path().endsWith(QLatin1Char('/')))
        s.publicUrl.setPath(s.publicUrl.path().chopped(1));

    s.page = server.value(QStringLiteral("page"), QStringLiteral("/usr/share/porome/web"));
    if (!QFileInfo(QDir(s.page).filePath(QStringLiteral("index.html"))).isReadable())
        return fail(QStringLiteral("server/page \"%1\" is not a folder with the page's index.html").arg(s.page));
    s.page = QFileInfo(s.page).canonicalFilePath();

    s.keyFile = server.value(QStringLiteral("key"), QStringLiteral("/var/lib/porome-server/tool-key.pem"));
    if (!QFileInfo(QFileInfo(s.keyFile).absolutePath()).isDir())
        return fail(QStringLiteral("server/key \"%1\": its folder does not exist").arg(s.keyFile));
    s.spool = server.value(QStringLiteral("spool"), QFileInfo(s.keyFile).absolutePath() + QStringLiteral("/scores"));

    if (server.contains(QStringLiteral("sessionHours"))) {
        bool ok = false;
        s.sessionHours = server.value(QStringLiteral("sessionHours")).toInt(&ok);
        if (!ok || s.sessionHours < 1 || s.sessionHours > 24 * 7)
            return fail(QStringLiteral("server/sessionHours \"%1\" is not a number of hours from 1 to 168")
                            .arg(server.value(QStringLiteral("sessionHours"))));
    }

    const Section lrs = sections.value(QStringLiteral("lrs"));
    QString endpoint = lrs.value(QStringLiteral("endpoint"));
    if (!endpoint.isEmpty()) {
        s.lrs.endpoint = QUrl(endpoint);
        if (s.lrs.endpoint.isValid() && !s.lrs.endpoint.path().endsWith(QLatin1Char('/')))
            s.lrs.endpoint.setPath(s.lrs.endpoint.path() + QLatin1Char('/'));
    }
    s.lrs.key = lrs.value(QStringLiteral("key"));
    s.lrs.secret = lrs.value(QStringLiteral("secret"));
    s.lrs.activityBase = lrs.value(QStringLiteral("activityBase"));
    // The store's own rules; the pupils' homePage is each platform's, so the tool's address
    // stands in for the school's IRI there.
    s.lrs.homePage = s.publicUrl.toString();
    if (const QString why = s.lrs.Problem(); !why.isEmpty())
        return fail(why);
    if (s.lrs.key.isEmpty())
        return fail(QStringLiteral("lrs/key is not set"));
    if (s.lrs.secret.isEmpty())
        return fail(QStringLiteral("lrs/secret is not set"));

    const Section reportSection = sections.value(QStringLiteral("report"));
    s.roster = reportSection.value(QStringLiteral("roster"));
    s.rosterMatch = reportSection.value(QStringLiteral("match"));
    if (!s.roster.isEmpty() && !QFileInfo::exists(s.roster))
        return fail(QStringLiteral("report/roster \"%1\" does not exist").arg(s.roster));

    for (const QString& section : order) {
        if (!section.startsWith(QLatin1String("platform.")))
            continue;
        const Section values = sections.value(section);
        Platform p;
        p.name = section.mid(9);
        for (const char* key : {"issuer", "clientId", "authUrl", "jwksUrl", "deploymentIds"})
            if (values.value(QLatin1String(key)).isEmpty())
                return fail(QStringLiteral("%1/%2 is not set").arg(section, QLatin1String(key)));
        p.issuer = values.value(QStringLiteral("issuer"));
        p.clientId = values.value(QStringLiteral("clientId"));
        QUrl issuer;
        if (!Address(p.issuer, &issuer))
            return fail(QStringLiteral("%1/issuer \"%2\" is not an https:// address").arg(section, p.issuer));
        for (auto [key, url] : {std::pair{"authUrl", &p.authUrl}, {"jwksUrl", &p.jwksUrl}, {"tokenUrl", &p.tokenUrl}}) {
            const QString v = values.value(QLatin1String(key));
            if (v.isEmpty())
                continue;
            if (!Address(v, url))
                return fail(QStringLiteral("%1/%2 \"%3\" is not an https:// address").arg(section, QLatin1String(key), v));
        }
        p.deploymentIds = List(values.value(QStringLiteral("deploymentIds")));
        if (p.deploymentIds.isEmpty())
            return fail(QStringLiteral("%1/deploymentIds names no deployment").arg(section));
        p.homePage = values.value(QStringLiteral("homePage"), p.issuer);
        if (!xapi::IsIri(p.homePage))
            return fail(QStringLiteral("%1/homePage \"%2\" is not an IRI").arg(section, p.homePage));
        for (const Platform& other : s.platforms)
            if (other.issuer == p.issuer && other.clientId == p.clientId)
                return fail(QStringLiteral("%1 registers issuer %2 with client %3 again (as platform.%4)")
                                .arg(section, p.issuer, p.clientId, other.name));
        s.platforms << p;
    }
    if (s.platforms.isEmpty())
        return fail(QStringLiteral("no [platform.NAME] section: register at least one portal"));
    return s;
}

std::optional<Settings> ReadSettings(const QString& file, QString* problem)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("the settings file %1 cannot be read: %2").arg(file, f.errorString());
        return std::nullopt;
    }
    return ParseSettings(f.read(1 << 20), problem);
}

} // namespace server
