// SPDX-License-Identifier: GPL-3.0-or-later
// A board's roster for scripts/bench.sh, and the time the report's reading of it takes.
//   porome-roster-bench make DIR USERS CLASSES ENROLLMENTS
//       writes DIR/roster/ (OneRoster 1.2 CSV with the Japan profile's columns) and the same
//       as DIR/RO_20260401_bench.zip: each class a homeroom with its teacher, the pupils spread
//       over the classes with a 出席番号, and the enrollments past one a pupil the rows of a
//       transfer marked tobedeleted
//   porome-roster-bench read PATH
//       reads the roster as the report does and looks up every user's class by username:
//       prints "users classes enrollments problems read-seconds lookup-seconds"
#include "report/Roster.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <zip.h>

namespace {

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

int Make(const QString& dir, int users, int classes, int enrollments)
{
    const int teachers = std::min(classes, users / 2);
    const int pupils = users - teachers;
    const QString root = QDir(dir).filePath("roster");
    QDir().mkpath(root);
    std::map<QString, QByteArray> files;
    files["manifest.csv"] = "propertyName,value\r\nmanifest.version,1.0\r\noneroster.version,1.2\r\n"
                            "file.academicSessions,bulk\r\nfile.classes,bulk\r\nfile.enrollments,bulk\r\n"
                            "file.orgs,bulk\r\nfile.users,bulk\r\nfile.roles,bulk\r\n";
    files["academicSessions.csv"] = "sourcedId,status,dateLastModified,title,type,startDate,endDate,parentSourcedId,"
                                    "schoolYear\r\nsy2026,,,2026年度,schoolYear,2026-04-01,2027-03-31,,2026\r\n";
    const int schools = std::max(1, classes / 20);
    QByteArray& orgs = files["orgs.csv"];
    orgs = "sourcedId,status,dateLastModified,name,type,identifier,parentSourcedId\r\n";
    for (int s = 0; s < schools; ++s)
        orgs += QStringLiteral("org-%1,,,第%1小学校,school,,\r\n").arg(s).toUtf8();
    QByteArray& cls = files["classes.csv"];
    cls = "sourcedId,status,dateLastModified,title,grades,courseSourcedId,classCode,classType,location,schoolSourcedId,"
          "termSourcedIds,subjects,subjectCodes,periods\r\n";
    for (int c = 0; c < classes; ++c)
        cls += QStringLiteral("class-%1,,,\"%2-%3\",P%2,,,homeroom,,org-%4,sy2026,,,\r\n")
                   .arg(c)
                   .arg(1 + c % 6)
                   .arg(1 + (c / 6) % 4)
                   .arg(c % schools)
                   .toUtf8();
    QByteArray& us = files["users.csv"];
    us = "sourcedId,status,dateLastModified,enabledUser,username,userIds,givenName,familyName,middleName,identifier,"
         "email,sms,phone,agentSourcedIds,grades,password,userMasterIdentifier,resourceSourcedIds,preferredGivenName,"
         "preferredMiddleName,preferredFamilyName,primaryOrgSourcedId,pronouns,metadata.jp.kanaGivenName,"
         "metadata.jp.kanaFamilyName,metadata.jp.kanaMiddleName,metadata.jp.homeClass\r\n";
    QByteArray& rl = files["roles.csv"];
    rl = "sourcedId,status,dateLastModified,userSourcedId,roleType,role,beginDate,endDate,orgSourcedId,userProfileSourcedId\r\n";
    for (int u = 0; u < users; ++u) {
        const bool teacher = u >= pupils;
        us += QStringLiteral("%1,,2026-04-01,true,user%2@school.example.jp,,太郎%2,山田,,,,,,,,,%3,,,,,org-%4,,"
                             "たろう,やまだ,,\r\n")
                  .arg(QStringLiteral("9a0c%1-0000-4000-8000-000000000000").arg(u, 8, 10, QLatin1Char('0')))
                  .arg(u)
                  .arg(QStringLiteral("M%1").arg(u, 8, 10, QLatin1Char('0')))
                  .arg(u % schools)
                  .toUtf8();
        rl += QStringLiteral("role-%1,,,%2,primary,%3,,,org-%4,\r\n")
                  .arg(u)
                  .arg(QStringLiteral("9a0c%1-0000-4000-8000-000000000000").arg(u, 8, 10, QLatin1Char('0')))
                  .arg(teacher ? "teacher" : "student")
                  .arg(u % schools)
                  .toUtf8();
    }
    QByteArray& en = files["enrollments.csv"];
    en = "sourcedId,status,dateLastModified,classSourcedId,schoolSourcedId,userSourcedId,role,primary,beginDate,endDate,"
         "metadata.jp.ShussekiNo,metadata.jp.PublicFlg\r\n";
    for (int e = 0; e < enrollments; ++e) {
        const int u = e < users ? e : (e - users) % pupils;
        const bool teacher = u >= pupils;
        const int c = teacher ? (u - pupils) % classes : (e < users ? u % classes : (u + 1) % classes);
        en += QStringLiteral("enr-%1,%2,,class-%3,org-%4,%5,%6,,,,%7,\r\n")
                  .arg(e)
                  .arg(e < users ? "" : "tobedeleted")
                  .arg(c)
                  .arg(c % schools)
                  .arg(QStringLiteral("9a0c%1-0000-4000-8000-000000000000").arg(u, 8, 10, QLatin1Char('0')))
                  .arg(teacher ? "teacher" : "student")
                  .arg(teacher ? QString() : QString::number(u / classes + 1))
                  .toUtf8();
    }
    int error = 0;
    const QByteArray zipPath = QFile::encodeName(QDir(dir).filePath("RO_20260401_bench.zip"));
    zip_t* z = zip_open(zipPath.constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z)
        return 1;
    for (const auto& [name, bytes] : files) {
        if (!Write(QDir(root).filePath(name), bytes))
            return 1;
        zip_source_t* src = zip_source_buffer(z, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        if (zip_file_add(z, name.toUtf8().constData(), src, ZIP_FL_ENC_UTF_8) < 0)
            return 1;
    }
    if (zip_close(z) != 0)
        return 1;
    std::printf("made %d users, %d classes, %d enrollments\n", users, classes, enrollments);
    return 0;
}

int Read(const QString& path)
{
    QElapsedTimer t;
    t.start();
    const auto roster = report::Roster::Read(path);
    const double read = t.nsecsElapsed() / 1e9;
    t.restart();
    int placed = 0;
    for (const report::Roster::User& u : roster->Users())
        placed += roster->Find(u.username, u"2026-12-08").klass >= 0;
    const double lookup = t.nsecsElapsed() / 1e9;
    for (const QString& p : roster->Problems())
        std::fprintf(stderr, "%s\n", qPrintable(p));
    std::printf("%d %d %d %d %.3f %.3f %d\n", roster->users(), roster->classes(), roster->enrollments(),
                int(roster->Problems().size()), read, lookup, placed);
    return roster->Usable() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() == 6 && a[1] == "make")
        return Make(a[2], a[3].toInt(), a[4].toInt(), a[5].toInt());
    if (a.size() == 3 && a[1] == "read")
        return Read(a[2]);
    std::fprintf(stderr, "usage: porome-roster-bench make DIR USERS CLASSES ENROLLMENTS | read PATH\n");
    return 2;
}
