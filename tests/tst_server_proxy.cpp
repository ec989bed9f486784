// SPDX-License-Identifier: GPL-3.0-or-later
// porome-server's store proxy on 127.0.0.1: a store of the test's own answers as it is told,
// and every statement the page sends is checked against its session before it goes on.
#include "server/Crypto.h"
#include "server/Server.h"

#include "support/Bounds.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString kHome = QStringLiteral("https://portal-a.example.jp");
const QString kSub = QStringLiteral("8f1e5b0c-2d7a-4c3e-9b1f-0a2b3c4d5e6f");
const QString kGrouping = QStringLiteral("https://portal-a.example.jp/context/class%203-1");

// A store that answers each request as told, or not at all; it keeps what it was sent.
class Store
{
public:
    int status = 200;
    QByteArray body;       // empty: the ids of what was sent, as a store answers a POST
    bool hang = false;
    QList<QByteArray> heads, bodies;

    Store()
    {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                auto in = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, in] { Read(socket, *in); });
            }
        });
        server_.listen(QHostAddress::LocalHost);
    }
    quint16 Port() const { return server_.serverPort(); }

private:
    void Read(QTcpSocket* socket, QByteArray& in)
    {
        in += socket->readAll();
        const qsizetype end = in.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = in.left(end);
        qsizetype length = 0;
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        if (in.size() < end + 4 + length)
            return;
        heads << head;
        bodies << in.mid(end + 4, length);
        in.clear();
        if (hang)
            return;
        QByteArray answer = body;
        if (answer.isEmpty()) {
            const QJsonDocument doc = QJsonDocument::fromJson(bodies.last());
            QJsonArray ids;
            for (const QJsonValue& v : doc.isArray() ? doc.array() : QJsonArray{doc.object()})
                ids << v.toObject().value(QLatin1String("id"));
            answer = QJsonDocument(ids).toJson(QJsonDocument::Compact);
        }
        socket->write("HTTP/1.1 " + QByteArray::number(status) + " Store\r\nContent-Type: application/json\r\n"
                      "Content-Length: " + QByteArray::number(answer.size()) + "\r\nConnection: close\r\n\r\n" + answer);
        socket->disconnectFromHost();
    }
    QTcpServer server_;
};

struct Answer
{
    int status = 0;
    QByteArray body;
};

QJsonObject Statement(const QString& id, const QString& sub = kSub, const QString& homePage = kHome)
{
    return QJsonObject{
        {"id", id},
        {"actor", QJsonObject{{"objectType", "Agent"}, {"account", QJsonObject{{"homePage", homePage}, {"name", sub}}}}},
        {"verb", QJsonObject{{"id", "http://adlnet.gov/expapi/verbs/answered"}}},
        {"object", QJsonObject{{"id", "https://porome.example.ed.jp/level/5"}}}};
}

QByteArray Json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }
QByteArray Json(const QJsonArray& a) { return QJsonDocument(a).toJson(QJsonDocument::Compact); }

const char* kId1 = "0f6d4a4e-53b4-4c59-9c7a-1d2e3f405161";
const char* kId2 = "1a2b3c4d-53b4-4c59-9c7a-1d2e3f405162";

} // namespace

class ServerProxy : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<server::Server> server_;
    QStringList log_;
    qint64 now_ = 1'800'000'000;
    QNetworkAccessManager net_;
    QByteArray session_;

    server::Session Pupil(const QString& id = QStringLiteral("launch-1")) const
    {
        server::Session s;
        s.issuer = kHome;
        s.clientId = QStringLiteral("c1");
        s.sub = kSub;
        s.homePage = kHome;
        s.grouping = kGrouping;
        s.id = id;
        s.expires = now_ + 3600;
        return s;
    }
    Answer Send(const QByteArray& method, const QString& pathAndQuery, const QByteArray& body,
                const QByteArray& authorization)
    {
        QNetworkRequest r(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_->Port()).arg(pathAndQuery)));
        r.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        r.setTransferTimeout(bounds::EventMs * 3);
        if (!authorization.isEmpty())
            r.setRawHeader("Authorization", authorization);
        QNetworkReply* reply = net_.sendCustomRequest(r, method, body);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        if (!reply->isFinished())
            finished.wait(bounds::EventMs * 3);
        Answer a{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
        reply->deleteLater();
        return a;
    }
    Answer Post(const QByteArray& body) { return Send("POST", "/xapi/statements", body, "Bearer " + session_); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QFile page(dir_.filePath("index.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<!doctype html><title>p</title>");
    }
    void init()
    {
        store_ = std::make_unique<Store>();
        QVERIFY(store_->Port() != 0);
        const QByteArray ini = "[server]\nlisten = 127.0.0.1:0\npublic = http://127.0.0.1:8080\npage = "
            + dir_.path().toUtf8() + "\nkey = " + dir_.filePath("tool.pem").toUtf8()
            + "\n[lrs]\nendpoint = http://127.0.0.1:" + QByteArray::number(store_->Port())
            + "/lrs/xapi\nkey = the-key\nsecret = the secret\n[platform.a]\nissuer = " + kHome.toUtf8()
            + "\nclientId = c1\nauthUrl = https://portal-a.example.jp/auth\njwksUrl = https://portal-a.example.jp/jwks\n"
              "deploymentIds = S_A\n";
        QString why;
        const auto settings = server::ParseSettings(ini, &why);
        QVERIFY2(settings, qPrintable(why));
        server_ = std::make_unique<server::Server>(*settings, crypto::NewRsaKey());
        server_->SetClock([this] { return now_; });
        server_->SetLog([this](const QString& line) { log_ << line; });
        QVERIFY2(server_->Start(&why), qPrintable(why));
        session_ = server_->MakeSession(Pupil());
        log_.clear();
    }

    // What the store is sent, and what the page hears back.
    void forwarded_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("storeStatus");
        QTest::addColumn<QByteArray>("storeBody");
        QTest::addColumn<QByteArray>("storeLine");   // the request line the store sees

        const QByteArray two = Json(QJsonArray{Statement(kId1), Statement(kId2)});
        const QByteArray post = "POST /lrs/xapi/statements HTTP/1.1";
        QTest::newRow("POST of one") << QByteArray("POST") << "" << Json(Statement(kId1)) << 200 << QByteArray() << post;
        QTest::newRow("POST of two") << QByteArray("POST") << "" << two << 200 << QByteArray() << post;
        QTest::newRow("PUT with statementId")
            << QByteArray("PUT") << QStringLiteral("?statementId=") + kId1 << Json(Statement(kId1)) << 204
            << QByteArray() << "PUT /lrs/xapi/statements?statementId=" + QByteArray(kId1) + " HTTP/1.1";
        QTest::newRow("409 of the store") << QByteArray("POST") << "" << two << 409
                                          << QByteArray("{\"message\":\"statement exists\"}") << post;
        QTest::newRow("400 of the store") << QByteArray("POST") << "" << two << 400
                                          << QByteArray("{\"message\":\"no valid result\"}") << post;
        QTest::newRow("503 of the store") << QByteArray("POST") << "" << two << 503
                                          << QByteArray("{\"message\":\"down for maintenance\"}") << post;
    }
    void forwarded()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, query);
        QFETCH(QByteArray, body);
        QFETCH(int, storeStatus);
        QFETCH(QByteArray, storeBody);
        QFETCH(QByteArray, storeLine);
        store_->status = storeStatus;
        store_->body = storeBody;
        const Answer a = Send(method, "/xapi/statements" + query, body, "Bearer " + session_);
        QCOMPARE(a.status, storeStatus);
        QCOMPARE(store_->heads.size(), 1);
        const QByteArray head = store_->heads[0];
        QCOMPARE(head.left(head.indexOf('\r')), storeLine);
        QVERIFY(head.contains("\r\nAuthorization: Basic " + QByteArray("the-key:the secret").toBase64() + "\r"));
        QVERIFY(!head.contains(session_));
        QVERIFY(head.contains("\r\nX-Experience-API-Version: 1.0.3"));
        // The store's own answer, so that 409 and 400 keep their meaning for the page.
        const QJsonDocument sent = QJsonDocument::fromJson(store_->bodies[0]);
        if (!storeBody.isEmpty())
            QCOMPARE(a.body, storeBody);
        else if (storeStatus == 200)
            QCOMPARE(QJsonDocument::fromJson(a.body).array().size(), sent.isArray() ? sent.array().size() : 1);
        // What went is what the page sent with the class added.
        const QJsonDocument given = QJsonDocument::fromJson(body);
        QCOMPARE(sent.isArray(), given.isArray());
        const QJsonArray in = given.isArray() ? given.array() : QJsonArray{given.object()};
        const QJsonArray out = sent.isArray() ? sent.array() : QJsonArray{sent.object()};
        QCOMPARE(out.size(), in.size());
        for (int i = 0; i < in.size(); ++i) {
            QJsonObject withoutContext = out[i].toObject();
            withoutContext.remove("context");
            QCOMPARE(withoutContext, in[i].toObject());
            QCOMPARE(out[i].toObject().value("context")["contextActivities"]["grouping"].toArray(),
                     (QJsonArray{QJsonObject{{"id", kGrouping}, {"objectType", "Activity"}}}));
        }
    }

    // A statement's own groupings are kept, and the class is there once.
    void groupingKept_data()
    {
        QTest::addColumn<QJsonArray>("given");   // empty: the school's, as one object without an array
        QTest::addColumn<QJsonArray>("sent");
        const QJsonObject school{{"id", "https://school.example.jp/"}, {"objectType", "Activity"}};
        const QJsonObject ours{{"id", kGrouping}, {"objectType", "Activity"}};
        QTest::newRow("another grouping") << QJsonArray{school} << QJsonArray{school, ours};
        QTest::newRow("the class already") << QJsonArray{ours, school} << QJsonArray{ours, school};
        QTest::newRow("one grouping without its array") << QJsonArray{} << QJsonArray{school, ours};
    }
    void groupingKept()
    {
        QFETCH(QJsonArray, given);
        QFETCH(QJsonArray, sent);
        const QJsonObject school{{"id", "https://school.example.jp/"}, {"objectType", "Activity"}};
        QJsonObject st = Statement(kId1);
        const QJsonObject parent{{"id", "https://porome.example.ed.jp/level"}};
        st["context"] = QJsonObject{{"registration", "5b5f4a43-3b7b-4c0e-8d4a-0e1f2a3b4c5d"},
                                    {"contextActivities", QJsonObject{{"grouping", given.isEmpty() ? QJsonValue(school) : given},
                                                                      {"parent", QJsonArray{parent}}}}};
        QCOMPARE(Post(Json(st)).status, 200);
        QCOMPARE(store_->bodies.size(), 1);
        const QJsonObject out = QJsonDocument::fromJson(store_->bodies[0]).object();
        QCOMPARE(out.value("context")["contextActivities"]["grouping"].toArray(), sent);
        QCOMPARE(out.value("context")["contextActivities"]["parent"].toArray(), QJsonArray{parent});
        QCOMPARE(out.value("context")["registration"], st.value("context")["registration"]);
    }

    // Refused by the proxy itself: the store hears nothing.
    void refused_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("authorization");   // "session": the pupil's
        QTest::addColumn<int>("status");

        const QByteArray one = Json(Statement(kId1));
        const QByteArray s = "session";
        QTest::newRow("no session") << QByteArray("POST") << "" << one << QByteArray() << 401;
        QTest::newRow("garbage session") << QByteArray("POST") << "" << one << QByteArray("Bearer ps1.e30.AAAA") << 401;
        QTest::newRow("not a bearer") << QByteArray("POST") << "" << one << QByteArray("Basic dGhlLWtleTp4") << 401;
        QTest::newRow("expired session") << QByteArray("POST") << "" << one << QByteArray("expired") << 401;
        QTest::newRow("another server's session") << QByteArray("POST") << "" << one << QByteArray("foreign") << 401;
        QTest::newRow("changed session") << QByteArray("POST") << "" << one << QByteArray("changed") << 401;
        QTest::newRow("another pupil") << QByteArray("POST") << "" << Json(Statement(kId1, "someone-else")) << s << 403;
        QTest::newRow("another portal's pupil")
            << QByteArray("POST") << "" << Json(Statement(kId1, kSub, "https://portal-b.example.jp")) << s << 403;
        QTest::newRow("one foreign actor refuses all")
            << QByteArray("POST") << ""
            << Json(QJsonArray{Statement(kId1), Statement(kId2, "someone-else"), Statement("3")}) << s << 403;
        QJsonObject mbox = Statement(kId1);
        mbox["actor"] = QJsonObject{{"mbox", "mailto:x@example.jp"}, {"account", mbox.value("actor")["account"]}};
        QTest::newRow("pupil and a mailbox") << QByteArray("POST") << "" << Json(mbox) << s << 403;
        QJsonObject group = Statement(kId1);
        QJsonObject groupActor = group["actor"].toObject();
        groupActor["objectType"] = "Group";
        group["actor"] = groupActor;
        QTest::newRow("a group") << QByteArray("POST") << "" << Json(group) << s << 403;
        QTest::newRow("no actor") << QByteArray("POST") << "" << QByteArray("{\"id\":\"1\"}") << s << 403;
        QTest::newRow("not JSON") << QByteArray("POST") << "" << QByteArray("{\"id\":") << s << 400;
        QTest::newRow("a number in the array") << QByteArray("POST") << "" << QByteArray("[1]") << s << 400;
        QTest::newRow("PUT without statementId") << QByteArray("PUT") << "" << one << s << 400;
        QTest::newRow("PUT of an array") << QByteArray("PUT") << QStringLiteral("?statementId=") + kId1
                                         << Json(QJsonArray{Statement(kId1)}) << s << 400;
        QTest::newRow("GET") << QByteArray("GET") << "" << QByteArray() << s << 405;
        QJsonArray many;
        for (int i = 0; i <= server::Server::kMaxStatements; ++i)
            many << Statement(QString::number(i));
        QTest::newRow("more than kMaxStatements") << QByteArray("POST") << "" << Json(many) << s << 413;
        QJsonObject big = Statement(kId1);
        big["result"] = QJsonObject{{"response", QString(server::Server::kMaxStatementsBody, 'x')}};
        QTest::newRow("body over the limit") << QByteArray("POST") << "" << Json(big) << s << 413;
    }
    void refused()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, query);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, authorization);
        QFETCH(int, status);
        if (authorization == "session") {
            authorization = "Bearer " + session_;
        } else if (authorization == "expired") {
            server::Session s = Pupil();
            s.expires = now_;
            authorization = "Bearer " + server_->MakeSession(s);
        } else if (authorization == "foreign") {
            QString why;
            const auto settings = server::ParseSettings(
                "[server]\npublic = http://127.0.0.1:8080\npage = " + dir_.path().toUtf8() + "\nkey = "
                    + dir_.filePath("k.pem").toUtf8()
                    + "\n[lrs]\nendpoint = http://127.0.0.1:9/\nkey = k\nsecret = s\n[platform.a]\nissuer = "
                    + kHome.toUtf8() + "\nclientId = c1\nauthUrl = " + kHome.toUtf8() + "/a\njwksUrl = "
                    + kHome.toUtf8() + "/j\ndeploymentIds = S_A\n",
                &why);
            QVERIFY2(settings, qPrintable(why));
            authorization = "Bearer " + server::Server(*settings, crypto::NewRsaKey()).MakeSession(Pupil());
        } else if (authorization == "changed") {
            // The same signature over another pupil's session.
            server::Session other = Pupil();
            other.sub = QStringLiteral("someone-else");
            const QByteArray mine = session_, theirs = server_->MakeSession(other);
            authorization = "Bearer " + theirs.left(theirs.lastIndexOf('.')) + mine.mid(mine.lastIndexOf('.'));
        }
        const Answer a = Send(method, "/xapi/statements" + query, body, authorization);
        QCOMPARE(a.status, status);
        QVERIFY2(QJsonDocument::fromJson(a.body).object().contains("message"), a.body.left(200).constData());
        QCOMPARE(store_->heads.size(), 0);
        QVERIFY(!a.body.contains(session_));
    }

    // A store that does not answer: the page hears an answer that it tries again later, before
    // its own 30 s are up.
    void storeHangs()
    {
        store_->hang = true;
        server_->SetStoreTimeout(std::chrono::milliseconds(300));
        const Answer a = Post(Json(Statement(kId1)));
        QCOMPARE(a.status, 502);
        QVERIFY(a.body.contains("kept"));
        QCOMPARE(store_->heads.size(), 1);
        QCOMPARE(log_.size(), 1);
        QVERIFY2(log_[0].startsWith("porome-server: the store did not answer: no answer within 0.3 s"),
                 qPrintable(log_[0]));
        // The next try goes to the store again.
        store_->hang = false;
        QCOMPARE(Post(Json(Statement(kId1))).status, 200);
        QCOMPARE(store_->heads.size(), 2);
    }

    void storeUnreachable()
    {
        store_.reset();
        const Answer a = Post(Json(Statement(kId1)));
        QCOMPARE(a.status, 502);
        QCOMPARE(log_.size(), 1);
        QVERIFY(!log_[0].contains("the secret"));
    }

    // A session may send a burst and then a few a second; another session has its own.
    void rateLimit()
    {
        int sent = 0;
        Answer a;
        // Bodies the proxy refuses itself, so that the store is not part of it.
        while ((a = Post("x")).status == 400 && sent < 1000)
            ++sent;
        QCOMPARE(a.status, 429);
        QVERIFY2(sent >= 10 && sent <= 200, qPrintable(QString::number(sent)));
        QCOMPARE(Send("POST", "/xapi/statements", "x", "Bearer " + server_->MakeSession(Pupil("launch-2"))).status, 400);
        QCOMPARE(Post(Json(Statement(kId1))).status, 429);
        QCOMPARE(store_->heads.size(), 0);
        now_ += 60;
        QCOMPARE(Post(Json(Statement(kId1))).status, 200);
    }
};

QTEST_GUILESS_MAIN(ServerProxy)
#include "tst_server_proxy.moc"
