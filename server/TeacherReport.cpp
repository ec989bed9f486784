// SPDX-License-Identifier: GPL-3.0-or-later
// The class report of a teacher's launch: the desktop's report made on the server from the
// store's statements of the class, with the pupils' names from the platform's membership.
#include "server/TeacherReport.h"

#include "server/Jwt.h"

#include "record/Row.h"
#include "report/Report.h"
#include "report/Roster.h"
#include "report/StoreSource.h"
#include "xapi/Endpoint.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>
#include <QTimer>
#include <QUrlQuery>

namespace server {

namespace {

const QString kClaim = QStringLiteral("https://purl.imsglobal.org/spec/lti/claim/");
const QString kNrpsClaim = QStringLiteral("https://purl.imsglobal.org/spec/lti-nrps/claim/namesroleservice");
const QString kNrpsScope = QStringLiteral("https://purl.imsglobal.org/spec/lti-nrps/scope/contextmembership.readonly");
const QByteArray kMembershipType = "application/vnd.ims.lti-nrps.v2.membershipcontainer+json";
const QByteArray kWorkbookType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
constexpr int kMembershipPages = 100;

Reply Page(int status, const QString& sentence)
{
    Reply r;
    r.status = status;
    r.type = "text/html; charset=utf-8";
    r.body = QStringLiteral("<!doctype html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>ポロメ</title></head>\n"
                            "<body style=\"font:20px sans-serif;margin:2em\"><p>%1</p></body></html>\n")
                 .arg(sentence.toHtmlEscaped())
                 .toUtf8();
    r.headers << qMakePair(QByteArray("Cache-Control"), QByteArray("no-store"))
              << qMakePair(QByteArray("Referrer-Policy"), QByteArray("no-referrer"));
    return r;
}

QHash<QString, QString> Form(const QByteArray& text)
{
    QHash<QString, QString> out;
    for (QByteArray pair : text.split('&')) {
        pair.replace('+', ' ');
        const qsizetype eq = pair.indexOf('=');
        if (eq > 0)
            out.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(pair.left(eq))),
                       QString::fromUtf8(QByteArray::fromPercentEncoding(pair.mid(eq + 1))));
    }
    return out;
}

// The school's own time: the report's week and school year begin there.
QTimeZone SchoolZone()
{
    const QTimeZone tokyo("Asia/Tokyo");
    return tokyo.isValid() ? tokyo : QTimeZone::systemTimeZone();
}

struct Member
{
    QString name;
};

// One GET of the membership, bounded; gives the status, the body and the next page's address.
int GetPage(QNetworkAccessManager& net, const QUrl& url, const QByteArray& token, QByteArray* body, QUrl* next)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", kMembershipType);
    request.setRawHeader("Authorization", "Bearer " + token);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(15000);
    std::unique_ptr<QNetworkReply> reply(net.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, &loop, [&](qint64 received, qint64) {
        if (received > (8 << 20))
            reply->abort();
    });
    if (!reply->isFinished())
        loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    *body = reply->readAll();
    *next = QUrl();
    // Link: <https://…?page=2>; rel="next", <…>; rel="last"
    static const QRegularExpression link(QStringLiteral("<([^>]*)>\\s*;[^,]*rel=\"?([^\",;]*)\"?"));
    auto it = link.globalMatch(QString::fromLatin1(reply->rawHeader("Link")));
    while (it.hasNext()) {
        const auto m = it.next();
        if (m.captured(2).split(QLatin1Char(' ')).contains(QStringLiteral("next")))
            *next = url.resolved(QUrl(m.captured(1)));
    }
    return status;
}

// The names of the class's members by their sub, from every page of the membership; `why`
// says what went wrong (never a name or the token).
QHash<QString, Member> Membership(const QUrl& first, const QByteArray& token, QString* why)
{
    QHash<QString, Member> members;
    QNetworkAccessManager net;
    QUrl url = first;
    for (int page = 0; url.isValid() && !url.isEmpty(); ++page) {
        if (page >= kMembershipPages) {
            *why = QStringLiteral("the membership has more than %1 pages").arg(kMembershipPages);
            break;
        }
        if (url.scheme() != first.scheme() || url.host() != first.host() || url.port() != first.port()) {
            *why = QStringLiteral("the membership sent its next page to another host");
            break;
        }
        QByteArray body;
        QUrl next;
        const int status = GetPage(net, url, token, &body, &next);
        if (status != 200) {
            *why = QStringLiteral("the membership service answered HTTP %1").arg(status);
            break;
        }
        QString bad;
        const auto doc = jwt::ParseJson(body, 8, &bad);
        if (!doc || !doc->object().value(QLatin1String("members")).isArray()) {
            *why = QStringLiteral("the membership service answered something that is not a membership");
            break;
        }
        for (const QJsonValue& v : doc->object().value(QLatin1String("members")).toArray()) {
            const QJsonObject m = v.toObject();
            const QString sub = m.value(QLatin1String("user_id")).toString();
            QString name = m.value(QLatin1String("name")).toString().trimmed();
            if (name.isEmpty())
                name = (m.value(QLatin1String("family_name")).toString() + QStringLiteral("　")
                        + m.value(QLatin1String("given_name")).toString()).trimmed();
            if (!sub.isEmpty() && !name.isEmpty())
                members.insert(sub, {name});
        }
        url = next;
    }
    return members;
}

// What a report needs, copied for its thread.
struct Job
{
    report::StoreQuery query;
    QUrl memberships;
    QByteArray token;
    std::shared_ptr<const report::Roster> roster;
    QString title, period, base, since;
    bool workbook = false;
};

// The names to show instead of the subs: one each, the sub added where two share a name; a
// sub the roster knows keeps its place there.
QHash<QString, QString> Names(const QHash<QString, Member>& members, const report::Roster* roster)
{
    QHash<QString, int> uses;
    for (const Member& m : members)
        ++uses[m.name];
    QHash<QString, QString> names;
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    for (auto it = members.cbegin(); it != members.cend(); ++it) {
        if (roster && roster->Usable() && roster->Find(it.key(), today).user >= 0)
            continue;
        names.insert(it.key(), uses.value(it.value().name) > 1 ? QStringLiteral("%1 (%2)").arg(it.value().name, it.key())
                                                               : it.value().name);
    }
    return names;
}

const char* const kTools = R"(<style>
nav.tools { margin: .5em 0 1em; } nav.tools a, nav.tools button { margin-right: .8em; font-size: 1em; }
nav.tools a.on { font-weight: bold; text-decoration: none; color: #222; } nav.tools form { display: inline; }
@media print { nav.tools { display: none; } }
</style>
)";

// The period's links and the workbook's button, under the title.
QString Tools(const Job& job)
{
    QString h = QStringLiteral("<nav class=\"tools\"><span>きかん (period): %1</span> ").arg(job.period.toHtmlEscaped());
    for (const auto& [choice, label] : {std::pair{"week", "今週"}, {"30d", "30日"}, {"year", "この　学年"}})
        h += QStringLiteral("<a href=\"%1/report?since=%2\"%3>%4</a>")
                 .arg(job.base, QLatin1String(choice),
                      job.since == QLatin1String(choice) ? QStringLiteral(" class=\"on\"") : QString(),
                      QString::fromUtf8(label));
    h += QStringLiteral("<form method=\"post\" action=\"%1/report/workbook\"><input type=\"hidden\" name=\"since\" "
                        "value=\"%2\"><button type=\"submit\">ワークブック (xlsx) を　ダウンロード</button></form></nav>\n")
             .arg(job.base, job.since);
    return QLatin1String(kTools) + h;
}

Reply Run(const Job& given)
{
    Job job = given;
    QString warning;
    if (!job.token.isEmpty()) {
        QString why;
        const QHash<QString, Member> members = Membership(job.memberships, job.token, &why);
        job.query.names = Names(members, job.roster.get());
        if (!why.isEmpty())
            warning = QStringLiteral("なまえを　ポータルから　もらえませんでした (%1)。").arg(why);
    }
    QString storeError;
    const report::RunSource more = [&](report::SummaryBuilder& b) {
        if (!report::ReadStore(job.query, b, &storeError) && storeError.isEmpty())
            storeError = QStringLiteral("the store could not be read");
    };
    if (job.workbook) {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("porome-report.xlsx"));
        report::Summary s;
        QString error;
        const bool written = dir.isValid() && report::WriteWorkbook({}, file, &s, &error, more, {}, job.roster);
        QFile f(file);
        if (!storeError.isEmpty() || !written || !f.open(QIODevice::ReadOnly))
            return Page(502, QStringLiteral("ワークブックを　つくれませんでした。もう　いちど　おして　ください。"));
        Reply r{200, kWorkbookType, f.readAll(), {}};
        r.headers << qMakePair(QByteArray("Content-Disposition"), QByteArray("attachment; filename=\"porome-report.xlsx\""))
                  << qMakePair(QByteArray("Cache-Control"), QByteArray("no-store"));
        return r;
    }
    const report::Summary s = report::Summarize({}, {}, more, {}, job.roster);
    if (!storeError.isEmpty())
        return Page(502, QStringLiteral("きろくを　よめませんでした。しばらく　してから　もう　いちど　ひらいて　ください。"));
    QString page = report::Html(s, job.title, warning);
    const qsizetype h1 = page.indexOf(QStringLiteral("</h1>\n"));
    page.insert(h1 < 0 ? 0 : h1 + 6, Tools(job));
    Reply r{200, "text/html; charset=utf-8", page.toUtf8(), {}};
    r.headers << qMakePair(QByteArray("Cache-Control"), QByteArray("no-store"))
              << qMakePair(QByteArray("Referrer-Policy"), QByteArray("no-referrer"))
              << qMakePair(QByteArray("Content-Security-Policy"),
                           QByteArray("default-src 'none'; style-src 'unsafe-inline'; img-src data:; form-action 'self'"));
    return r;
}

} // namespace

bool IsInstructor(const QJsonArray& roles)
{
    static const QStringList teacher{
        QStringLiteral("http://purl.imsglobal.org/vocab/lis/v2/membership#Instructor"),
        QStringLiteral("Instructor"),
        QStringLiteral("http://purl.imsglobal.org/vocab/lis/v2/institution/person#Faculty"),
        QStringLiteral("http://purl.imsglobal.org/vocab/lis/v2/institution/person#Instructor"),
    };
    for (const QJsonValue& r : roles)
        if (teacher.contains(r.toString()))
            return true;
    return false;
}

QByteArray GrantKey(const crypto::Key& toolKey)
{
    return crypto::HmacSha256(crypto::PrivateDer(toolKey), "porome-server report 1");
}

QByteArray MakeGrant(const QByteArray& key, const Grant& g)
{
    const QJsonObject o{{"v", 1}, {"i", g.issuer}, {"c", g.clientId}, {"s", g.sub}, {"h", g.homePage},
                        {"g", g.grouping}, {"t", g.title}, {"m", g.memberships}, {"e", double(g.expires)}};
    const QByteArray payload = crypto::Base64Url(QJsonDocument(o).toJson(QJsonDocument::Compact));
    return "pr1." + payload + '.' + crypto::Base64Url(crypto::HmacSha256(key, "pr1." + payload));
}

std::optional<Grant> ReadGrant(const QByteArray& key, const QByteArray& token, qint64 now)
{
    const QList<QByteArray> parts = token.split('.');
    if (token.size() > 4096 || parts.size() != 3 || parts[0] != "pr1")
        return std::nullopt;
    const auto mac = crypto::FromBase64Url(parts[2]);
    if (!mac || !crypto::Same(*mac, crypto::HmacSha256(key, parts[0] + '.' + parts[1])))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(crypto::FromBase64Url(parts[1]).value_or(QByteArray())).object();
    Grant g;
    g.issuer = o.value(QLatin1String("i")).toString();
    g.clientId = o.value(QLatin1String("c")).toString();
    g.sub = o.value(QLatin1String("s")).toString();
    g.homePage = o.value(QLatin1String("h")).toString();
    g.grouping = o.value(QLatin1String("g")).toString();
    g.title = o.value(QLatin1String("t")).toString();
    g.memberships = o.value(QLatin1String("m")).toString();
    g.expires = qint64(o.value(QLatin1String("e")).toDouble());
    if (o.value(QLatin1String("v")).toInt() != 1 || g.grouping.isEmpty() || g.expires <= now)
        return std::nullopt;
    return g;
}

QString SinceChoice(const QString& text)
{
    return text == QLatin1String("week") || text == QLatin1String("30d") ? text : QStringLiteral("year");
}

QDateTime SinceOf(const QString& choice, const QDateTime& now)
{
    const QDateTime here = now.toTimeZone(SchoolZone());
    const QDate today = here.date();
    QDate from;
    if (choice == QLatin1String("week"))
        from = today.addDays(1 - today.dayOfWeek());
    else if (choice == QLatin1String("30d"))
        return now.addDays(-30);
    else
        from = QDate(today.month() >= 4 ? today.year() : today.year() - 1, 4, 1);
    return QDateTime(from, QTime(0, 0), SchoolZone());
}

TeacherReport& Server::Teacher()
{
    if (!teacher_)
        teacher_ = std::make_shared<TeacherReport>(*this);
    return *teacher_;
}

TeacherReport::TeacherReport(Server& server)
    : server_(server)
    , key_(GrantKey(server.toolKey_))
    , tokens_(server.network_, &server, server.toolKey_, [&server] { return server.Now(); })
{
}

TeacherReport::~TeacherReport() = default;

std::shared_ptr<const report::Roster> TeacherReport::Roster()
{
    if (!rosterRead_ && !server_.settings_.roster.isEmpty())
        roster_ = report::LoadRoster(server_.settings_.roster, server_.settings_.rosterMatch);
    rosterRead_ = true;
    return roster_;
}

void TeacherReport::Launch(const Platform& platform, const QJsonObject& claims, const Session& s, Done done)
{
    if (s.grouping.isEmpty()) {
        server_.Log(QStringLiteral("a teacher's launch from platform.%1 names no class (context)").arg(platform.name));
        return done(Page(400, QStringLiteral("この　リンクは　クラスの　ものでは　ないので、クラスの　きろくを　だせません。")));
    }
    Grant g;
    g.issuer = s.issuer;
    g.clientId = s.clientId;
    g.sub = s.sub;
    g.homePage = s.homePage;
    g.grouping = s.grouping;
    const QJsonObject context = claims.value(kClaim + QStringLiteral("context")).toObject();
    g.title = context.value(QLatin1String("title")).toString(context.value(QLatin1String("label")).toString());
    const QJsonObject nrps = claims.value(kNrpsClaim).toObject();
    const QUrl memberships(nrps.value(QLatin1String("context_memberships_url")).toString());
    // The access token goes there: https, or http on this machine, as for every credential.
    if (memberships.isValid() && xapi::CredentialProblem(memberships).isEmpty())
        g.memberships = memberships.toString();
    else if (!memberships.isEmpty())
        server_.Log(QStringLiteral("the membership address of platform.%1 is not https: no names").arg(platform.name));
    g.expires = server_.Now() + kGrantSeconds;
    const QByteArray token = MakeGrant(key_, g);
    const QByteArray cookie = "porome_report=" + token + "; Path=" + server_.settings_.publicUrl.path().toUtf8()
        + "/report; Max-Age=" + QByteArray::number(kGrantSeconds) + "; Secure; HttpOnly; SameSite=None";
    Make(g, QStringLiteral("year"), Output::Page, cookie, done);
}

void TeacherReport::Route(const Call& call, Done done)
{
    const QString path = call.url.path();
    const bool page = path == QLatin1String("/report");
    const bool workbook = path == QLatin1String("/report/workbook");
    if (!page && !workbook)
        return done(Page(404, QStringLiteral("ここには　なにも　ありません。")));
    if (page && call.method != "GET" && call.method != "HEAD")
        return done(Page(405, QStringLiteral("GET")));
    if (workbook && call.method != "POST")
        return done(Page(405, QStringLiteral("POST")));
    const QByteArray cookie = call.Cookie("porome_report");
    const auto grant = ReadGrant(key_, cookie, server_.Now());
    if (!grant) {
        // A pupil's session, however it comes, never reads the class.
        const QByteArray auth = call.Header("authorization");
        const QByteArray bearer = auth.startsWith("Bearer ") ? auth.mid(7).trimmed() : QByteArray();
        if (server_.ReadSession(cookie) || server_.ReadSession(bearer))
            return done(Page(403, QStringLiteral("この　ページは　せんせい　だけが　ひらけます。")));
        return done(Page(401, QStringLiteral("ポータルから　もう　いちど　ひらいて　ください。")));
    }
    if (call.body.size() > Server::kMaxForm)
        return done(Page(413, QStringLiteral("too large")));
    const QString since = page ? QUrlQuery(call.url).queryItemValue(QStringLiteral("since"))
                               : Form(call.body).value(QStringLiteral("since"));
    Make(*grant, SinceChoice(since), page ? Output::Page : Output::Workbook, {}, done);
}

void TeacherReport::Make(const Grant& g, const QString& since, Output output, QByteArray cookie, Done done)
{
    if (running_ >= kMaxRunning) {
        Reply r = Page(503, QStringLiteral("いま　こんで　います。すこし　まって　もう　いちど　ひらいて　ください。"));
        r.headers << qMakePair(QByteArray("Retry-After"), QByteArray("5"));
        return done(r);
    }
    const Platform* platform = server_.settings_.Find(g.issuer, g.clientId);
    if (!platform)
        return done(Page(401, QStringLiteral("ポータルから　もう　いちど　ひらいて　ください。")));
    auto job = std::make_shared<Job>();
    const StoreSettings& lrs = server_.settings_.lrs;
    job->query.endpoint = lrs.endpoint;
    job->query.key = lrs.key;
    job->query.secret = lrs.secret;
    job->query.homePage = g.homePage;
    job->query.activityBase = lrs.activityBase;
    job->query.grouping = g.grouping;
    job->since = since;
    job->query.since = SinceOf(since, QDateTime::fromSecsSinceEpoch(server_.Now()));
    job->period = job->query.since.toTimeZone(SchoolZone()).toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" から");
    job->title = QStringLiteral("ポロメ 学習の記録 — %1").arg(g.title.isEmpty() ? QStringLiteral("クラス") : g.title);
    job->base = server_.settings_.publicUrl.path().toHtmlEscaped();
    job->roster = Roster();
    job->workbook = output == Output::Workbook;
    job->memberships = QUrl(g.memberships);
    ++running_;
    QPointer<Server> alive(&server_);
    const auto finish = [this, alive, done, cookie](Reply r) {
        if (!alive)
            return;
        --running_;
        if (!cookie.isEmpty())
            r.headers << qMakePair(QByteArray("Set-Cookie"), cookie)
                      << qMakePair(QByteArray("Set-Cookie"),
                                   QByteArray("porome_state=; Path=/lti/; Max-Age=0; Secure; HttpOnly; SameSite=None"));
        done(r);
    };
    const auto start = [job, finish, alive] {
        QThread* thread = QThread::create([job, finish, alive] {
            Reply r = Run(*job);
            if (alive)
                QMetaObject::invokeMethod(alive.data(), [finish, r] { finish(r); }, Qt::QueuedConnection);
        });
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
    };
    if (g.memberships.isEmpty())
        return start();
    tokens_.FetchToken(*platform, kNrpsScope, [this, job, start](QByteArray token, QString why) {
        if (token.isEmpty())
            server_.Log(QStringLiteral("no names for the class report: ") + why);
        job->token = token;
        start();
    });
}

} // namespace server
