// SPDX-License-Identifier: GPL-3.0-or-later
// The portal's launch: the login initiation, the id_token's checks and the launched page.
#include "server/Jwt.h"
#include "server/Scores.h"
#include "server/Server.h"
#include "server/TeacherReport.h"

#include "record/StoreRequest.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrlQuery>

namespace server {

namespace {

const QString kClaim = QStringLiteral("https://purl.imsglobal.org/spec/lti/claim/");

// The sentence a pupil sees when the launch is refused.
Reply Refused(int status)
{
    Reply r;
    r.status = status;
    r.type = "text/html; charset=utf-8";
    r.body = QStringLiteral("<!doctype html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>ポロメ</title>"
                            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"></head>\n"
                            "<body style=\"background:#c0ffc0;font:bold 28px sans-serif;text-align:center;"
                            "padding-top:20vh\"><p>ポロメを　ひらけませんでした。せんせいに　つたえて　ください。</p>"
                            "</body></html>\n")
                 .toUtf8();
    r.headers << qMakePair(QByteArray("Cache-Control"), QByteArray("no-store"))
              << qMakePair(QByteArray("Referrer-Policy"), QByteArray("no-referrer"));
    return r;
}

// The fields of an application/x-www-form-urlencoded body (or a query).
QHash<QString, QString> Form(const QByteArray& text)
{
    QHash<QString, QString> out;
    for (QByteArray pair : text.split('&')) {
        pair.replace('+', ' ');
        const qsizetype eq = pair.indexOf('=');
        const QString key = QString::fromUtf8(QByteArray::fromPercentEncoding(pair.left(eq < 0 ? pair.size() : eq)));
        if (!key.isEmpty() && !out.contains(key))
            out.insert(key, eq < 0 ? QString() : QString::fromUtf8(QByteArray::fromPercentEncoding(pair.mid(eq + 1))));
    }
    return out;
}

// A value as a log line may show it: short, on one line.
QString Shown(const QJsonValue& v)
{
    QString text = v.isString() ? v.toString() : QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    text = text.simplified();
    return text.size() > 80 ? text.left(80) + QStringLiteral("…") : text;
}

} // namespace

Reply Server::Login(const Call& call)
{
    const auto refuse = [this](const QString& why) {
        Log(QStringLiteral("login refused: ") + why);
        return Refused(400);
    };
    if (call.body.size() > kMaxForm)
        return refuse(QStringLiteral("the login's form has %1 bytes").arg(call.body.size()));
    const QHash<QString, QString> p = call.method == "POST" ? Form(call.body) : Form(call.url.query(QUrl::FullyEncoded).toUtf8());
    const QString iss = p.value(QStringLiteral("iss"));
    const QString clientId = p.value(QStringLiteral("client_id"));
    if (iss.isEmpty())
        return refuse(QStringLiteral("the login names no iss"));
    const Platform* platform = settings_.Find(iss, clientId);
    if (!platform)
        return refuse(clientId.isEmpty() ? QStringLiteral("iss %1 is not registered (or is registered with several "
                                                          "clients and the login names no client_id)")
                                               .arg(Shown(iss))
                                         : QStringLiteral("iss %1 with client_id %2 is not registered")
                                               .arg(Shown(iss), Shown(clientId)));
    if (p.value(QStringLiteral("login_hint")).isEmpty())
        return refuse(QStringLiteral("the login from platform.%1 has no login_hint").arg(platform->name));
    const QUrl target(p.value(QStringLiteral("target_link_uri")));
    if (!OnThisServer(target))
        return refuse(QStringLiteral("target_link_uri %1 is not on this server").arg(Shown(target.toString())));
    const QString deployment = p.value(QStringLiteral("lti_deployment_id"));
    if (!deployment.isEmpty() && !platform->deploymentIds.contains(deployment))
        return refuse(QStringLiteral("lti_deployment_id %1 is not registered for platform.%2")
                          .arg(Shown(deployment), platform->name));

    const QByteArray nonce = crypto::Base64Url(crypto::Random(18));
    const QByteArray state = MakeState(nonce, *platform);
    QUrl auth = platform->authUrl;
    QUrlQuery q(auth);
    const auto add = [&q](const char* key, const QString& value) {
        q.addQueryItem(QLatin1String(key), QString::fromLatin1(QUrl::toPercentEncoding(value)));
    };
    add("scope", QStringLiteral("openid"));
    add("response_type", QStringLiteral("id_token"));
    add("response_mode", QStringLiteral("form_post"));
    add("prompt", QStringLiteral("none"));
    add("client_id", platform->clientId);
    add("redirect_uri", settings_.publicUrl.toString() + QStringLiteral("/lti/launch"));
    add("login_hint", p.value(QStringLiteral("login_hint")));
    if (p.contains(QStringLiteral("lti_message_hint")))
        add("lti_message_hint", p.value(QStringLiteral("lti_message_hint")));
    add("state", QString::fromLatin1(state));
    add("nonce", QString::fromLatin1(nonce));
    auth.setQuery(q);

    Reply r;
    r.status = 302;
    r.headers << qMakePair(QByteArray("Location"), auth.toEncoded())
              << qMakePair(QByteArray("Set-Cookie"),
                           "porome_state=" + state + "; Path=/lti/; Max-Age=" + QByteArray::number(kStateSeconds)
                               + "; Secure; HttpOnly; SameSite=None")
              << qMakePair(QByteArray("Cache-Control"), QByteArray("no-store"))
              << qMakePair(QByteArray("Referrer-Policy"), QByteArray("no-referrer"));
    return r;
}

void Server::Launch(const Call& call, Done done)
{
    const auto refuse = [this, done](int status, const QString& why) {
        Log(QStringLiteral("launch refused: ") + why);
        done(Refused(status));
    };
    if (call.method != "POST")
        return refuse(405, QStringLiteral("the launch came as %1, not as a form POST").arg(QString::fromLatin1(call.method)));
    if (call.body.size() > kMaxForm)
        return refuse(400, QStringLiteral("the launch's form has %1 bytes, more than %2").arg(call.body.size()).arg(kMaxForm));
    const QHash<QString, QString> form = Form(call.body);
    const QByteArray token = form.value(QStringLiteral("id_token")).toLatin1();
    const QByteArray state = form.value(QStringLiteral("state")).toLatin1();
    if (token.isEmpty())
        return refuse(400, QStringLiteral("the launch has no id_token"));
    if (state.isEmpty())
        return refuse(400, QStringLiteral("the launch has no state"));

    QString why;
    const auto given = ReadState(state, &why);
    if (!given)
        return refuse(401, why);
    const QByteArray cookie = call.Cookie("porome_state");
    if (cookie.isEmpty())
        return refuse(401, QStringLiteral("the browser sent no porome_state cookie"));
    if (!crypto::Same(cookie, state))
        return refuse(401, QStringLiteral("the state is not the one this browser was given"));

    const auto decoded = jwt::Decode(token, &why);
    if (!decoded)
        return refuse(400, why);
    const jwt::Token& t = *decoded;
    const QJsonValue alg = t.header.value(QLatin1String("alg"));
    if (alg != QJsonValue(QStringLiteral("RS256")))
        return refuse(401, QStringLiteral("the id_token's alg is %1, not RS256").arg(Shown(alg)));
    if (t.header.contains(QLatin1String("crit")))
        return refuse(401, QStringLiteral("the id_token's header has crit"));
    const QString kid = t.header.value(QLatin1String("kid")).toString();
    if (kid.isEmpty())
        return refuse(401, QStringLiteral("the id_token's header has no kid"));

    const QJsonValue issValue = t.claims.value(QLatin1String("iss"));
    const QString iss = issValue.toString();
    QStringList audience;
    const QJsonValue aud = t.claims.value(QLatin1String("aud"));
    if (aud.isString())
        audience << aud.toString();
    for (const QJsonValue& a : aud.toArray())
        audience << a.toString();
    const Platform* platform = nullptr;
    bool issuerKnown = false;
    for (const Platform& p : settings_.platforms) {
        issuerKnown = issuerKnown || p.issuer == iss;
        if (p.issuer == iss && audience.contains(p.clientId))
            platform = &p;
    }
    if (!issuerKnown)
        return refuse(401, QStringLiteral("iss %1 is not registered").arg(Shown(issValue)));
    if (!platform)
        return refuse(401, QStringLiteral("aud %1 does not hold the client id registered for iss %2").arg(Shown(aud), iss));
    const QJsonValue azp = t.claims.value(QLatin1String("azp"));
    if (audience.size() > 1 && azp.isUndefined())
        return refuse(401, QStringLiteral("aud names several clients and there is no azp"));
    if (!azp.isUndefined() && azp != QJsonValue(platform->clientId))
        return refuse(401, QStringLiteral("azp %1 is not the client id of platform.%2").arg(Shown(azp), platform->name));
    if (given->value(QLatin1String("i")).toString() != platform->issuer
        || given->value(QLatin1String("c")).toString() != platform->clientId)
        return refuse(401, QStringLiteral("the state was given for another platform than platform.%1").arg(platform->name));

    const QString name = platform->name;
    const QByteArray nonce = given->value(QLatin1String("n")).toString().toLatin1();
    KeyFor(*platform, kid, [this, call, name, t, nonce, done, refuse](crypto::Key key, QString why) {
        const Platform* platform = nullptr;
        for (const Platform& p : settings_.platforms)
            if (p.name == name)
                platform = &p;
        if (!key)
            return refuse(401, why);
        if (!crypto::VerifyRs256(key, t.signingInput, t.signature))
            return refuse(401, QStringLiteral("the id_token's signature does not hold (kid %1)")
                                   .arg(Shown(t.header.value(QLatin1String("kid")))));
        Proceed(call, *platform, t.claims, nonce, done);
    });
}

void Server::Proceed(const Call& call, const Platform& platform, const QJsonObject& claims, const QByteArray& nonce,
                     Done done)
{
    Q_UNUSED(call);
    const auto refuse = [this, done](int status, const QString& why) {
        Log(QStringLiteral("launch refused: ") + why);
        done(Refused(status));
    };
    const qint64 now = Now();
    const QJsonValue exp = claims.value(QLatin1String("exp"));
    const QJsonValue iat = claims.value(QLatin1String("iat"));
    if (!exp.isDouble())
        return refuse(401, QStringLiteral("the id_token has no exp"));
    if (!iat.isDouble())
        return refuse(401, QStringLiteral("the id_token has no iat"));
    if (qint64(exp.toDouble()) + kSkewSeconds < now)
        return refuse(401, QStringLiteral("the id_token expired %1 s ago").arg(now - qint64(exp.toDouble())));
    if (qint64(iat.toDouble()) - kSkewSeconds > now)
        return refuse(401, QStringLiteral("the id_token's iat is %1 s in the future").arg(qint64(iat.toDouble()) - now));
    const QJsonValue tokenNonce = claims.value(QLatin1String("nonce"));
    if (!tokenNonce.isString() || !crypto::Same(tokenNonce.toString().toLatin1(), nonce))
        return refuse(401, QStringLiteral("the id_token's nonce is not the one of the state"));
    if (usedNonces_.contains(nonce))
        return refuse(401, QStringLiteral("the nonce was used before (a replayed launch)"));
    // Kept as long as the state that names it could come back.
    if (usedNonces_.size() >= 1024 && usedNonces_.size() % 1024 == 0)
        usedNonces_.removeIf([now](const auto& it) { return it.value() < now; });
    usedNonces_.insert(nonce, now + kStateSeconds + kSkewSeconds);

    const QJsonValue deployment = claims.value(kClaim + QStringLiteral("deployment_id"));
    if (!platform.deploymentIds.contains(deployment.toString()))
        return refuse(403, QStringLiteral("deployment_id %1 is not registered for platform.%2")
                               .arg(Shown(deployment), platform.name));
    const QJsonValue type = claims.value(kClaim + QStringLiteral("message_type"));
    if (type != QJsonValue(QStringLiteral("LtiResourceLinkRequest")))
        return refuse(400, QStringLiteral("message_type %1 is not LtiResourceLinkRequest").arg(Shown(type)));
    const QJsonValue version = claims.value(kClaim + QStringLiteral("version"));
    if (version != QJsonValue(QStringLiteral("1.3.0")))
        return refuse(400, QStringLiteral("version %1 is not 1.3.0").arg(Shown(version)));
    const QJsonValue target = claims.value(kClaim + QStringLiteral("target_link_uri"));
    if (!OnThisServer(QUrl(target.toString())))
        return refuse(400, QStringLiteral("target_link_uri %1 is not on this server").arg(Shown(target)));
    const QString sub = claims.value(QLatin1String("sub")).toString();
    if (sub.isEmpty() || sub.size() > 255)
        return refuse(400, QStringLiteral("the id_token has no sub"));
    if (!claims.value(kClaim + QStringLiteral("roles")).isArray())
        return refuse(400, QStringLiteral("the id_token has no roles"));

    Session s;
    s.issuer = platform.issuer;
    s.clientId = platform.clientId;
    s.sub = sub;
    s.homePage = platform.homePage;
    s.id = QString::fromLatin1(crypto::Base64Url(crypto::Random(12)));
    s.expires = now + qint64(settings_.sessionHours) * 3600;
    const QString context = claims.value(kClaim + QStringLiteral("context")).toObject().value(QLatin1String("id")).toString();
    if (!context.isEmpty()) {
        QString base = platform.issuer;
        while (base.endsWith(QLatin1Char('/')))
            base.chop(1);
        s.grouping = base + QStringLiteral("/context/") + QString::fromLatin1(QUrl::toPercentEncoding(context));
    }
    // Where the platform's gradebook takes this link's scores, when it lets the tool post them.
    const QJsonObject ags = claims.value(QStringLiteral("https://purl.imsglobal.org/spec/lti-ags/claim/endpoint")).toObject();
    const QString lineItem = ags.value(QLatin1String("lineitem")).toString();
    if (ags.value(QLatin1String("scope")).toArray().contains(QJsonValue(Scores::kScope)) && Scores::Postable(lineItem))
        s.lineItem = lineItem;
    if (IsInstructor(claims.value(kClaim + QStringLiteral("roles")).toArray()))
        return Teacher().Launch(platform, claims, s, done);
    QJsonObject launch{{"endpoint", settings_.publicUrl.toString() + QStringLiteral("/xapi/")},
                       {"actor", QJsonObject{{"objectType", "Agent"},
                                             {"account", QJsonObject{{"homePage", s.homePage}, {"name", sub}}}}},
                       {"homePage", s.homePage}};
    const QJsonValue level = claims.value(kClaim + QStringLiteral("custom")).toObject().value(QLatin1String("level"));
    const int n = level.isDouble() ? level.toInt() : level.toString().toInt();
    if (n >= 1 && n <= 22)
        launch.insert(QStringLiteral("level"), n);
    if (!settings_.lrs.activityBase.isEmpty())
        launch.insert(QStringLiteral("activityBase"), settings_.lrs.activityBase);
    done(LaunchPage(launch, MakeSession(s)));
}

Reply Server::LaunchPage(const QJsonObject& given, const QByteArray& session) const
{
    QFile f(settings_.page + QStringLiteral("/index.html"));
    if (!f.open(QIODevice::ReadOnly)) {
        Log(QStringLiteral("the page's index.html cannot be read: ") + f.errorString());
        return Refused(500);
    }
    QByteArray page = f.readAll();
    QJsonObject launch = given;
    launch.insert(QStringLiteral("auth"), QStringLiteral("Bearer ") + QString::fromLatin1(session));
    // Nothing in it can close the script: JSON may write < > & as \u escapes.
    QByteArray json = QJsonDocument(launch).toJson(QJsonDocument::Compact);
    json.replace("<", "\\u003c").replace(">", "\\u003e").replace("&", "\\u0026");
    const QByteArray script = "<script type=\"application/json\" id=\"porome-launch\">" + json + "</script>\n";
    // The page's own addresses are relative: they are the server's root's, not /lti/'s.
    const QByteArray base = "<base href=\"" + settings_.publicUrl.path().toUtf8() + "/\">\n";
    const qsizetype head = page.indexOf("<head>");
    if (head >= 0)
        page.insert(head + 6, "\n" + base);
    const qsizetype end = page.indexOf("</head>");
    page.insert(end >= 0 ? end : 0, script);
    Reply r{200, "text/html; charset=utf-8", page, {}};
    r.headers << qMakePair(QByteArray("Cache-Control"), QByteArray("no-store"))
              << qMakePair(QByteArray("Referrer-Policy"), QByteArray("no-referrer"))
              << qMakePair(QByteArray("Set-Cookie"),
                           QByteArray("porome_state=; Path=/lti/; Max-Age=0; Secure; HttpOnly; SameSite=None"));
    return r;
}

void Server::KeyFor(const Platform& platform, const QString& kid, std::function<void(crypto::Key, QString)> then)
{
    KeySet& set = keySets_[platform.name];
    if (const crypto::Key key = set.keys.value(kid))
        return then(key, {});
    const QString name = platform.name;
    const auto lookAgain = [this, name, kid, then] {
        const KeySet& s = keySets_[name];
        if (const crypto::Key key = s.keys.value(kid))
            return then(key, {});
        then({}, QStringLiteral("the JWKS of platform.%1 has no key with kid %2").arg(name, kid.left(80)));
    };
    if (set.fetching) {
        set.waiting << lookAgain;
        return;
    }
    if (set.fetched >= 0 && Now() - set.fetched < kJwksSeconds)
        return then({}, QStringLiteral("the JWKS of platform.%1 has no key with kid %2 (fetched again at most once "
                                       "a minute)")
                            .arg(name, kid.left(80)));
    set.fetching = true;
    set.waiting << lookAgain;
    QNetworkRequest request(platform.jwksUrl);
    request.setRawHeader("Accept", "application/json");
    QNetworkReply* reply = network_->get(request);
    store::Bound(reply, this, std::chrono::seconds(10), 256 * 1024, [this, name](const store::Answer& a) {
        KeySet& s = keySets_[name];
        s.fetching = false;
        s.fetched = Now();
        QString why;
        const auto doc = a.status == 200 ? jwt::ParseJson(a.body, 8, &why) : std::nullopt;
        if (!doc) {
            Log(QStringLiteral("the JWKS of platform.%1 could not be fetched: %2")
                    .arg(name, a.status == 200 ? QStringLiteral("it ") + why : a.failure));
        } else {
            QHash<QString, crypto::Key> keys;
            for (const QJsonValue& v : doc->object().value(QLatin1String("keys")).toArray()) {
                const QJsonObject jwk = v.toObject();
                const QString kid = jwk.value(QLatin1String("kid")).toString();
                const QString alg = jwk.value(QLatin1String("alg")).toString(QStringLiteral("RS256"));
                const QString use = jwk.value(QLatin1String("use")).toString(QStringLiteral("sig"));
                if (kid.isEmpty() || alg != QLatin1String("RS256") || use != QLatin1String("sig"))
                    continue;
                if (const crypto::Key key = crypto::KeyFromJwk(jwk, &why))
                    keys.insert(kid, key);
            }
            s.keys = keys;
        }
        const auto waiting = std::exchange(s.waiting, {});
        for (const auto& w : waiting)
            w();
    });
}

} // namespace server
