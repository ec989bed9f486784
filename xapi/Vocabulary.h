// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// The IRIs and names the program's statements are written in, shared by what builds them
// and what reads them back.
namespace xapi::vocab {

// The Japan xAPI Profiles: the assessment profile, and the extensions its core defines.
inline const QString Profile = QStringLiteral("https://w3id.org/japan-xapi/profiles/assessment");
inline const QString ProfileType = QStringLiteral("http://adlnet.gov/expapi/activities/profile");
inline const QString Subject = QStringLiteral("https://w3id.org/japan-xapi/extensions/subject");
inline const QString Grade = QStringLiteral("https://w3id.org/japan-xapi/extensions/grade");
inline const QString Unit = QStringLiteral("https://w3id.org/japan-xapi/extensions/unit");
inline const QString AssessmentType = QStringLiteral("https://w3id.org/japan-xapi/extensions/assessment-type");
inline const QString ContentType = QStringLiteral("https://w3id.org/japan-xapi/extensions/content-type");

inline const QString Attempted = QStringLiteral("http://adlnet.gov/expapi/verbs/attempted");
inline const QString Answered = QStringLiteral("http://adlnet.gov/expapi/verbs/answered");
inline const QString Completed = QStringLiteral("http://adlnet.gov/expapi/verbs/completed");
inline const QString Viewed = QStringLiteral("http://id.tincanapi.com/verb/viewed");

inline const QString Assessment = QStringLiteral("http://adlnet.gov/expapi/activities/assessment");
inline const QString Interaction = QStringLiteral("http://adlnet.gov/expapi/activities/cmi.interaction");
inline const QString Page = QStringLiteral("http://activitystrea.ms/schema/1.0/page");

inline const QString Japanese = QStringLiteral("ja-JP");

// The program's own extensions, <base>/extensions/<name>: what the record keeps and xAPI has
// no place for.
namespace ext {
inline const QString Computer = QStringLiteral("computer");
inline const QString Login = QStringLiteral("login");   // only where the actor's name is not the login
inline const QString Slot = QStringLiteral("slot");
inline const QString ProblemNumber = QStringLiteral("problem-number");
inline const QString Serial = QStringLiteral("serial");
inline const QString Kind = QStringLiteral("kind");
inline const QString Try = QStringLiteral("try");   // result extensions from here on
inline const QString Mark = QStringLiteral("mark");
inline const QString Mistake = QStringLiteral("mistake");
} // namespace ext

inline QString Extension(const QString& base, const QString& name)
{
    return base + QStringLiteral("/extensions/") + name;
}

// The level activity's id is <base>/levels/<n>.
inline const QString LevelsPath = QStringLiteral("/levels/");

} // namespace xapi::vocab
