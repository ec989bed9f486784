// SPDX-License-Identifier: GPL-3.0-or-later
// porome-server's launch on 127.0.0.1: a platform of the test's own signs id_tokens with
// OpenSSL and serves its JWKS; every refused launch says one line, never the token.
#include "server/Crypto.h"
#include "server/Jwt.h"
#include "server/Server.h"

#include <QHttpServer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <memory>

namespace {

const QString kIss = QStringLiteral("https://portal-a.example.jp");
const QString kClaim = QStringLiteral("https://purl.imsglobal.org/spec/lti/claim/");

struct Answer
{
    int status = 0;
    QByteArray body;
    QList<QNetworkReply::RawHeaderPair> headers;
    QByteArray Header(const QByteArray& name) const
    {
        for (const auto& [k, v] : headers)
            if (k.compare(name, Qt::CaseInsensitive) == 0)
                return v;
        return {};
    }
};

enum Fault {
    None, BadSignature, AlgNone, Hs256, UnknownKid, WrongIss, WrongAud, WrongAzp, Expired, IatFuture, Replayed,
    WrongState, ForgedState, NoCookie, Deployment, MessageType, Version, NoSub, NoRoles, BigToken, HugeToken,
    BadBase64, DeepJson, BrokenJson, Target,
};

} // namespace

class ServerLaunch : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    crypto::Key platformKey_ = crypto::NewRsaKey();
    QJsonObject jwk_;
    QHttpServer jwks_;
    int fetches_ = 0;
    quint16 jwksPort_ = 0;
    std::unique_ptr<server::Server> server_;
    QStringList log_;
    qint64 now_ = 1'800'000'000;
    QNetworkAccessManager net_;

    Answer Send(const QByteArray& method, const QString& path, const QByteArray& body = {},
                const QByteArray& cookie = {})
    {
        QNetworkRequest r(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_->Port()).arg(path)));
        r.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        r.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
        if (!cookie.isEmpty())
            r.setRawHeader("Cookie", cookie);
        QNetworkReply* reply = net_.sendCustomRequest(r, method, body);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        if (!reply->isFinished())
            finished.wait(60000);
        Answer a{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                 reply->rawHeaderPairs()};
        reply->deleteLater();
        return a;
    }
    // A login: the state (also the cookie's) and the nonce of the platform's redirect.
    std::pair<QByteArray, QByteArray> Login()
    {
        QUrlQuery q;
        q.addQueryItem("iss", kIss);
        q.addQueryItem("login_hint", "u1");
        q.addQueryItem("client_id", "c1");
        q.addQueryItem("target_link_uri", "http://127.0.0.1:8080/");
        const Answer a = Send("GET", "/lti/login?" + q.toString(QUrl::FullyEncoded));
        const QUrlQuery to(QUrl::fromEncoded(a.Header("location")));
        return {to.queryItemValue("state").toLatin1(), to.queryItemValue("nonce").toLatin1()};
    }
    QJsonObject Claims(const QByteArray& nonce) const
    {
        return QJsonObject{{"iss", kIss}, {"aud", "c1"}, {"sub", "8f1e5b0c-2d7a-4c3e-9b1f-0a2b3c4d5e6f"},
                           {"exp", double(now_ + 300)}, {"iat", double(now_)}, {"nonce", QString::fromLatin1(nonce)},
                           {kClaim + "deployment_id", "S_A"}, {kClaim + "message_type", "LtiResourceLinkRequest"},
                           {kClaim + "version", "1.3.0"}, {kClaim + "target_link_uri", "http://127.0.0.1:8080/"},
                           {kClaim + "roles", QJsonArray{"http://purl.imsglobal.org/vocab/lis/v2/membership#Learner"}},
                           {kClaim + "context", QJsonObject{{"id", "class 3-1"}}},
                           {kClaim + "custom", QJsonObject{{"level", "5"}}}};
    }
    QByteArray Sign(const QJsonObject& claims, const QString& kid, const crypto::Key& key) const
    {
        const QByteArray input = jwt::SigningInput(QJsonObject{{"alg", "RS256"}, {"typ", "JWT"}, {"kid", kid}}, claims);
        return input + '.' + crypto::Base64Url(crypto::SignRs256(key, input));
    }
    Answer Launch(const QByteArray& token, const QByteArray& state, const QByteArray& cookie)
    {
        return Send("POST", "/lti/launch",
                    "id_token=" + QUrl::toPercentEncoding(QString::fromLatin1(token)) + "&state="
                        + QUrl::toPercentEncoding(QString::fromLatin1(state)),
                    cookie.isEmpty() ? QByteArray() : "porome_state=" + cookie);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QFile page(dir_.filePath("index.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<!doctype html><html><head><title>p</title></head><body></body></html>");
        page.close();
        jwk_ = crypto::PublicJwk(platformKey_);
        jwks_.route("/jwks", [this] {
            ++fetches_;
            return QHttpServerResponse("application/json",
                                       QJsonDocument(QJsonObject{{"keys", QJsonArray{jwk_}}}).toJson());
        });
        jwksPort_ = jwks_.listen(QHostAddress::LocalHost);
        QVERIFY(jwksPort_ != 0);
    }
    void init()
    {
        const QByteArray ini = "[server]\nlisten = 127.0.0.1:0\npublic = http://127.0.0.1:8080\npage = "
            + dir_.path().toUtf8() + "\nkey = " + dir_.filePath("tool.pem").toUtf8()
            + "\n[lrs]\nendpoint = http://127.0.0.1:9/xapi/\nkey = k\nsecret = s\n[platform.a]\nissuer = "
            + kIss.toUtf8() + "\nclientId = c1\nauthUrl = https://portal-a.example.jp/auth\njwksUrl = http://127.0.0.1:"
            + QByteArray::number(jwksPort_) + "/jwks\ndeploymentIds = S_A, S_B\n";
        QString why;
        const auto settings = server::ParseSettings(ini, &why);
        QVERIFY2(settings, qPrintable(why));
        server_ = std::make_unique<server::Server>(*settings, crypto::NewRsaKey());
        server_->SetClock([this] { return now_; });
        server_->SetLog([this](const QString& line) { log_ << line; });
        QVERIFY2(server_->Start(&why), qPrintable(why));
        log_.clear();
        fetches_ = 0;
    }

    void goodLaunch()
    {
        const auto [state, nonce] = Login();
        QVERIFY(!state.isEmpty() && !nonce.isEmpty());
        const Answer a = Launch(Sign(Claims(nonce), jwk_["kid"].toString(), platformKey_), state, state);
        QCOMPARE(a.status, 200);
        QCOMPARE(log_, QStringList());
        QCOMPARE(a.Header("cache-control"), QByteArray("no-store"));
        const qsizetype at = a.body.indexOf("<script type=\"application/json\" id=\"porome-launch\">");
        QVERIFY(at >= 0 && at < a.body.indexOf("</head>"));
        const qsizetype from = a.body.indexOf('>', at) + 1;
        const QJsonObject launch = QJsonDocument::fromJson(a.body.mid(from, a.body.indexOf("</script>", at) - from)).object();
        const QString auth = launch["auth"].toString();
        QVERIFY(auth.startsWith("Bearer ps1."));
        for (const auto& [key, value] : a.headers)
            QVERIFY2(!value.contains(auth.mid(7).toLatin1()), key.constData());
        QCOMPARE(launch["endpoint"].toString(), QString("http://127.0.0.1:8080/xapi/"));
        QCOMPARE(launch["level"].toInt(), 5);
        QCOMPARE(launch["actor"].toObject()["account"].toObject()["name"].toString(),
                 QString("8f1e5b0c-2d7a-4c3e-9b1f-0a2b3c4d5e6f"));
        const auto session = server_->ReadSession(auth.mid(7).toLatin1());
        QVERIFY(session);
        QCOMPARE(session->grouping, kIss + "/context/class%203-1");
        QCOMPARE(session->expires, now_ + 12 * 3600);
    }

    void refused_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        QTest::newRow("bad signature") << int(BadSignature) << 401 << "the id_token's signature does not hold";
        QTest::newRow("alg none") << int(AlgNone) << 401 << "the id_token's alg is none, not RS256";
        QTest::newRow("HS256 with the public key") << int(Hs256) << 401 << "the id_token's alg is HS256, not RS256";
        QTest::newRow("unknown kid") << int(UnknownKid) << 401 << "the JWKS of platform.a has no key with kid nobody";
        QTest::newRow("wrong iss") << int(WrongIss) << 401 << "iss https://other.example.jp is not registered";
        QTest::newRow("wrong aud") << int(WrongAud) << 401 << "aud c2 does not hold the client id";
        QTest::newRow("wrong azp") << int(WrongAzp) << 401 << "azp c2 is not the client id of platform.a";
        QTest::newRow("expired") << int(Expired) << 401 << "the id_token expired 3600 s ago";
        QTest::newRow("iat in the future") << int(IatFuture) << 401 << "the id_token's iat is 3600 s in the future";
        QTest::newRow("replayed nonce") << int(Replayed) << 401 << "the nonce was used before (a replayed launch)";
        QTest::newRow("wrong state") << int(WrongState) << 401 << "the state is not the one this browser was given";
        QTest::newRow("forged state") << int(ForgedState) << 401 << "the state is not one this server gave";
        QTest::newRow("no state cookie") << int(NoCookie) << 401 << "the browser sent no porome_state cookie";
        QTest::newRow("unregistered deployment") << int(Deployment) << 403
                                                 << "deployment_id S_X is not registered for platform.a";
        QTest::newRow("message_type") << int(MessageType) << 400
                                      << "message_type LtiDeepLinkingRequest is not LtiResourceLinkRequest";
        QTest::newRow("version") << int(Version) << 400 << "version 1.1 is not 1.3.0";
        QTest::newRow("no sub") << int(NoSub) << 400 << "the id_token has no sub";
        QTest::newRow("no roles") << int(NoRoles) << 400 << "the id_token has no roles";
        QTest::newRow("90 KB token") << int(BigToken) << 400 << "the id_token has ";
        QTest::newRow("1 MB token") << int(HugeToken) << 400 << "the launch's form has ";
        QTest::newRow("bad base64url") << int(BadBase64) << 400 << "the id_token's claims is not base64url";
        QTest::newRow("deep JSON") << int(DeepJson) << 400 << "the id_token's claims nests deeper than 16";
        QTest::newRow("broken JSON") << int(BrokenJson) << 400 << "the id_token's claims is not JSON";
        QTest::newRow("target elsewhere") << int(Target) << 400
                                          << "target_link_uri https://evil.example/ is not on this server";
    }
    void refused()
    {
        QFETCH(int, fault);
        QFETCH(int, status);
        QFETCH(QString, reason);
        auto [state, nonce] = Login();
        QByteArray cookie = state;
        QJsonObject claims = Claims(nonce);
        QString kid = jwk_["kid"].toString();
        crypto::Key key = platformKey_;
        QByteArray token;
        switch (Fault(fault)) {
        case WrongIss: claims["iss"] = "https://other.example.jp"; break;
        case WrongAud: claims["aud"] = "c2"; break;
        case WrongAzp: claims["aud"] = QJsonArray{"c1", "c2"}; claims["azp"] = "c2"; break;
        case Expired: claims["exp"] = double(now_ - 3600); claims["iat"] = double(now_ - 7200); break;
        case IatFuture: claims["iat"] = double(now_ + 3600); claims["exp"] = double(now_ + 7200); break;
        case Deployment: claims[kClaim + "deployment_id"] = "S_X"; break;
        case MessageType: claims[kClaim + "message_type"] = "LtiDeepLinkingRequest"; break;
        case Version: claims[kClaim + "version"] = "1.1"; break;
        case NoSub: claims.remove("sub"); break;
        case NoRoles: claims.remove(kClaim + "roles"); break;
        case Target: claims[kClaim + "target_link_uri"] = "https://evil.example/"; break;
        case UnknownKid: kid = "nobody"; break;
        case BigToken: claims["pad"] = QString(70 * 1024, 'x'); break;
        case HugeToken: claims["pad"] = QString(1 << 20, 'x'); break;
        case WrongState: state = Login().first; break;
        case ForgedState: state = cookie = "eyJuIjoieCJ9.AAAA"; break;
        case NoCookie: cookie.clear(); break;
        default: break;
        }
        token = Sign(claims, kid, key);
        const QByteArray input = token.left(token.lastIndexOf('.'));
        const QByteArray header64 = input.left(input.indexOf('.'));
        const auto withClaims = [&](const QByteArray& raw) {
            return header64 + '.' + crypto::Base64Url(raw) + '.' + token.mid(token.lastIndexOf('.') + 1);
        };
        switch (Fault(fault)) {
        case BadSignature: token[token.size() - 5] = token[token.size() - 5] == 'A' ? 'B' : 'A'; break;
        case AlgNone:
            token = jwt::SigningInput(QJsonObject{{"alg", "none"}, {"kid", kid}}, claims) + '.';
            break;
        case Hs256: {
            const QByteArray in = jwt::SigningInput(QJsonObject{{"alg", "HS256"}, {"kid", kid}}, claims);
            token = in + '.' + crypto::Base64Url(crypto::HmacSha256(QJsonDocument(jwk_).toJson(), in));
            break;
        }
        case BadBase64: token = header64 + ".e30*!." + token.mid(token.lastIndexOf('.') + 1); break;
        case DeepJson: token = withClaims(QByteArray(100, '[') + QByteArray(100, ']')); break;
        case BrokenJson: token = withClaims("{\"iss\":"); break;
        case Replayed:
            QCOMPARE(Launch(token, state, cookie).status, 200);
            QCOMPARE(log_, QStringList());
            break;
        default: break;
        }
        const Answer a = Launch(token, state, cookie);
        QCOMPARE(a.status, status);
        QVERIFY(QString::fromUtf8(a.body).contains(QStringLiteral("ポロメを　ひらけませんでした。せんせいに　つたえて　ください。")));
        QCOMPARE(log_.size(), 1);
        QVERIFY2(log_[0].startsWith("porome-server: launch refused: " + reason), qPrintable(log_[0]));
        const QByteArray signature = token.mid(token.lastIndexOf('.') + 1);
        QVERIFY(!log_[0].contains(QString::fromLatin1(input.left(60))));
        QVERIFY(signature.isEmpty() || !log_[0].contains(QString::fromLatin1(signature)));
    }

    // A rotated key is fetched on its unknown kid, and an unknown kid fetches at most once a minute.
    void rotatedKey()
    {
        auto [state, nonce] = Login();
        QCOMPARE(Launch(Sign(Claims(nonce), jwk_["kid"].toString(), platformKey_), state, state).status, 200);
        QCOMPARE(fetches_, 1);
        const crypto::Key old = platformKey_;
        platformKey_ = crypto::NewRsaKey();
        jwk_ = crypto::PublicJwk(platformKey_);
        std::tie(state, nonce) = Login();
        QCOMPARE(Launch(Sign(Claims(nonce), jwk_["kid"].toString(), platformKey_), state, state).status, 401);
        QCOMPARE(fetches_, 1);
        QVERIFY(log_.value(0).contains("(fetched again at most once a minute)"));
        now_ += 61;
        std::tie(state, nonce) = Login();
        QCOMPARE(Launch(Sign(Claims(nonce), jwk_["kid"].toString(), platformKey_), state, state).status, 200);
        QCOMPARE(fetches_, 2);
        Q_UNUSED(old);
    }
};

QTEST_GUILESS_MAIN(ServerLaunch)
#include "tst_server_launch.moc"
