// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "server/Server.h"
#include "server/Token.h"

#include <QDateTime>
#include <QJsonArray>

#include <memory>
#include <optional>

namespace report {
class Roster;
}

namespace server {

// Whether a launch's roles make its user the class's teacher: the context role Instructor
// (its full LIS name or the short one) or the institution roles Faculty and Instructor.
bool IsInstructor(const QJsonArray& roles);

// What a teacher's report token carries: the class (its grouping IRI, which the proxy puts
// on every pupil's statement) and where its names come from, until when.
struct Grant
{
    QString issuer, clientId, sub, homePage, grouping, title, memberships;
    qint64 expires = 0;
};
// The key the report tokens are signed with, made from the tool's key.
QByteArray GrantKey(const crypto::Key& toolKey);
QByteArray MakeGrant(const QByteArray& key, const Grant& grant);
// nullopt when the token is not one of this key's report tokens, or expired at `now`.
std::optional<Grant> ReadGrant(const QByteArray& key, const QByteArray& token, qint64 now);

// The period of the report: "week" (from this Monday), "30d", or "year" (the school year from
// 1 April), in the school's time; anything else is the school year.
QString SinceChoice(const QString& text);
QDateTime SinceOf(const QString& choice, const QDateTime& now);

// The class report a teacher's launch answers with, and its own routes: GET /report?since=…
// (the page) and POST /report/workbook (the workbook), both taking the report token of the
// cookie porome_report. The store is read with the server's own key, filtered by the class.
class TeacherReport
{
public:
    explicit TeacherReport(Server& server);
    ~TeacherReport();
    // A launch whose roles make its user a teacher; `session` is what a pupil's would be.
    void Launch(const Platform& platform, const QJsonObject& claims, const Session& session, Done done);
    // /report and below.
    void Route(const Call& call, Done done);

    // Reports made at once; more are asked to come back.
    static constexpr int kMaxRunning = 4;
    static constexpr int kGrantSeconds = 3600;

private:
    enum class Output { Page, Workbook };
    void Make(const Grant& grant, const QString& since, Output output, QByteArray cookie, Done done);
    std::shared_ptr<const report::Roster> Roster();

    Server& server_;
    QByteArray key_;
    Tokens tokens_;
    std::shared_ptr<const report::Roster> roster_;
    bool rosterRead_ = false;
    int running_ = 0;
};

} // namespace server
