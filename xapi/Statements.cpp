// SPDX-License-Identifier: GPL-3.0-or-later
#include "xapi/Statements.h"

#include "xapi/Activities.h"
#include "xapi/Vocabulary.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace xapi {

using namespace vocab;
using namespace activities;

QString DefaultActivityBase()
{
    return QStringLiteral("https://porome.github.io/xapi");
}

bool IsIri(const QString& text)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:."));
    if (!scheme.match(text).hasMatch())
        return false;
    for (const QChar c : text)
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return false;
    return true;
}

namespace {

QString WithoutTrailingSlash(QString iri)
{
    while (iri.endsWith(u'/'))
        iri.chop(1);
    return iri;
}

QString GradeOf(int level)
{
    return QString::number(level <= 10 ? 3 : 4);
}

QJsonObject Verb(const QString& id)
{
    // The profile asks for the English display; the Japanese ones are the core profile's.
    static const QHash<QString, std::pair<QString, QString>> names{
        {Attempted, {QStringLiteral("attempted"), QStringLiteral("開始した")}},
        {Answered, {QStringLiteral("answered"), QStringLiteral("回答した")}},
        {Completed, {QStringLiteral("completed"), QStringLiteral("終了した")}},
        {Viewed, {QStringLiteral("viewed"), QStringLiteral("閲覧した")}},
    };
    const auto& [en, ja] = names.value(id);
    return {{QStringLiteral("id"), id},
            {QStringLiteral("display"), QJsonObject{{QStringLiteral("en"), en}, {Japanese, ja}}}};
}

// A number field as a JSON number when it is one, written as the record writes it.
QJsonValue NumberOrText(const QString& field)
{
    bool ok = false;
    const int v = field.toInt(&ok);
    return ok && QString::number(v) == field ? QJsonValue(v) : QJsonValue(field);
}

QString Timestamp(const QDateTime& when)
{
    const int offset = when.offsetFromUtc() / 60;
    const int a = std::abs(offset);
    return when.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) + (offset < 0 ? u'-' : u'+')
           + QStringLiteral("%1:%2").arg(a / 60, 2, 10, QChar(u'0')).arg(a % 60, 2, 10, QChar(u'0'));
}

// ISO 8601, to the hundredth of a second xAPI keeps.
QString Duration(qint64 ms)
{
    const qint64 cs = std::max<qint64>(ms, 0) / 10;
    const qint64 h = cs / 360000, m = cs / 6000 % 60, s = cs / 100 % 60, frac = cs % 100;
    QString d = QStringLiteral("PT");
    if (h > 0)
        d += QString::number(h) + u'H';
    if (h > 0 || m > 0)
        d += QString::number(m) + u'M';
    d += QString::number(s);
    if (frac > 0) {
        QString f = QStringLiteral("%1").arg(frac, 2, 10, QChar(u'0'));
        if (f.endsWith(u'0'))
            f.chop(1);
        d += u'.' + f;
    }
    return d + u'S';
}

// (raw − min) / (max − min) to at most 7 decimals, min being 0.
QJsonObject Score(int raw, int max)
{
    const double scaled = std::round(double(raw) / max * 1e7) / 1e7;
    return {{QStringLiteral("raw"), raw}, {QStringLiteral("min"), 0}, {QStringLiteral("max"), max},
            {QStringLiteral("scaled"), scaled}};
}

bool IsMark(const QString& outcome)
{
    return outcome == record::Right || outcome == record::RightLater || outcome == record::Wrong;
}

} // namespace

QString LevelActivityId(const QString& base, int level)
{
    return WithoutTrailingSlash(base) + LevelsPath + QString::number(level);
}

QString AnsweredVerb()
{
    return Answered;
}

QString ViewedVerb()
{
    return Viewed;
}

Statements::Statements(Settings settings, std::function<QUuid()> newId)
    : settings_(std::move(settings)), newId_(std::move(newId))
{
    base_ = IsIri(settings_.activityBase) ? WithoutTrailingSlash(settings_.activityBase) : DefaultActivityBase();
    if (settings_.platform.isEmpty())
        settings_.platform = QStringLiteral("ポロメ %1").arg(QStringLiteral(POROME_VERSION));
}

QString Statements::actorName(const QString& login, const QString& computer) const
{
    // One login used on several computers: the pupil is the login at that computer.
    return settings_.sharedLogins && !computer.isEmpty() ? login + u'@' + computer : login;
}

QJsonObject Statements::who(const QString& login, const QString& computer) const
{
    QJsonObject extensions{{Extension(base_, ext::Computer), computer}};
    if (!settings_.actor.isEmpty() || actorName(login, computer) != login)
        extensions.insert(Extension(base_, ext::Login), login);
    return extensions;
}

QJsonObject Statements::context(int level, const QString& grade, const QJsonArray& parent, QJsonObject extensions,
                                bool profile) const
{
    QJsonObject activities;
    if (!parent.isEmpty())
        activities.insert(QStringLiteral("parent"), parent);
    if (!exerciseId_.isEmpty() && level == level_)
        activities.insert(QStringLiteral("grouping"),
                          QJsonArray{QJsonObject{{QStringLiteral("objectType"), QStringLiteral("Activity")},
                                                 {QStringLiteral("id"), exerciseId_}}});
    if (profile)
        activities.insert(QStringLiteral("category"),
                          QJsonArray{Activity(Profile, QJsonObject{{QStringLiteral("type"), ProfileType}})});
    AddSubject(extensions, grade);
    // A drill is practice: formative assessment.
    extensions.insert(AssessmentType, QJsonArray{QStringLiteral("formative")});
    QJsonObject c{{QStringLiteral("language"), Japanese},
                  {QStringLiteral("platform"), settings_.platform},
                  {QStringLiteral("contextActivities"), activities},
                  {QStringLiteral("extensions"), extensions}};
    if (!settings_.registration.isEmpty())
        c.insert(QStringLiteral("registration"), settings_.registration);
    return c;
}

QJsonObject Statements::statement(const QString& verb, const QJsonObject& object, const QJsonObject& result,
                                  const QJsonObject& context, const QDateTime& when, const QString& login,
                                  const QString& computer)
{
    QJsonObject actor = settings_.actor;
    if (actor.isEmpty()) {
        // Without a school's IRI the account is the program's own.
        const QString homePage = settings_.homePage.isEmpty() ? base_ : settings_.homePage;
        actor = {{QStringLiteral("objectType"), QStringLiteral("Agent")},
                 {QStringLiteral("account"), QJsonObject{{QStringLiteral("homePage"), homePage},
                                                         {QStringLiteral("name"), actorName(login, computer)}}}};
    }
    QJsonObject s{{QStringLiteral("id"), newId_().toString(QUuid::WithoutBraces)},
                  {QStringLiteral("actor"), actor},
                  {QStringLiteral("verb"), Verb(verb)},
                  {QStringLiteral("object"), object},
                  {QStringLiteral("context"), context},
                  {QStringLiteral("timestamp"), Timestamp(when.isValid() ? when : QDateTime::currentDateTime())},
                  {QStringLiteral("version"), QStringLiteral("1.0.0")}};
    if (!result.isEmpty())
        s.insert(QStringLiteral("result"), result);
    return s;
}

QJsonObject Statements::Begin(int level, const QDateTime& when, const QString& computer, const QString& login)
{
    level_ = level;
    exerciseId_ = base_ + QStringLiteral("/exercises/") + newId_().toString(QUuid::WithoutBraces);
    computer_ = computer;
    login_ = login;
    began_ = when;
    raw_ = judged_ = 0;
    right_.clear();
    const QString grade = GradeOf(level);
    return statement(Attempted, LevelActivity(base_, level, grade), {},
                     context(level, grade, {}, who(login, computer), true), when, login, computer);
}

void Statements::count(const QStringList& f)
{
    if (exerciseId_.isEmpty() || f[record::Level].toInt() != level_ || !IsMark(f[record::Outcome]))
        return;
    const QString problem = f[record::Serial].isEmpty() ? f[record::Slot] + u'/' + f[record::Problem]
                                                        : f[record::Serial];
    const bool right = f[record::Outcome] != record::Wrong;
    const auto it = right_.find(problem);
    if (it == right_.end()) {
        right_.insert(problem, right);
        ++judged_;
        raw_ += right;
    } else if (*it != right) {
        raw_ += right ? 1 : -1;
        *it = right;
    }
}

QJsonObject Statements::Add(const record::Row& row)
{
    record::Row r = row;
    r.fields.resize(record::ColumnCount);
    const QStringList& f = r.fields;
    const int levelNumber = f[record::Level].toInt();
    const QString& kind = f[record::Kind];
    const QString& login = f[record::Login];
    const QString& computer = f[record::Computer];
    QDateTime when = r.when;
    if (!when.isValid())
        when = QDateTime::fromString(f[record::When], QStringLiteral("yyyy-MM-dd HH:mm:ss"));

    QJsonObject extensions = who(login, computer);
    extensions.insert(Extension(base_, ext::Slot), NumberOrText(f[record::Slot]));
    extensions.insert(Extension(base_, ext::ProblemNumber), NumberOrText(f[record::Problem]));
    extensions.insert(Extension(base_, ext::Serial), NumberOrText(f[record::Serial]));
    extensions.insert(Extension(base_, ext::Kind), kind);

    QJsonObject resultExtensions{{Extension(base_, ext::Try), NumberOrText(f[record::Try])}};
    if (!f[record::Mistake].isEmpty())
        resultExtensions.insert(Extension(base_, ext::Mistake), f[record::Mistake]);
    QJsonObject result;
    if (!f[record::Answer].isEmpty())
        result.insert(QStringLiteral("response"), f[record::Answer]);

    const QString& grade = f[record::Year];
    const QJsonObject level = AsContext(LevelActivity(base_, levelNumber, grade));
    const QJsonObject problem = ProblemActivity(base_, levelNumber, r);
    if (kind == record::KindCheck || kind == record::KindButton) {
        count(f);
        const bool success = f[record::Outcome] == record::Right || f[record::Outcome] == record::RightLater;
        resultExtensions.insert(Extension(base_, ext::Mark), f[record::Outcome]);
        result.insert(QStringLiteral("success"), success);
        result.insert(QStringLiteral("score"), Score(success ? 1 : 0, 1));
        result.insert(QStringLiteral("extensions"), resultExtensions);
        return statement(Answered, problem, result, context(levelNumber, grade, {level}, extensions, true), when,
                         login, computer);
    }
    // A hint or a message: what was shown, about the problem it was shown for.
    result.insert(QStringLiteral("extensions"), resultExtensions);
    const QJsonObject shown = ShownActivity(base_, kind == record::KindHint, f[record::Outcome], grade);
    return statement(Viewed, shown, result,
                     context(levelNumber, grade, {AsContext(problem), level}, extensions, true), when, login,
                     computer);
}

std::optional<QJsonObject> Statements::End(const QDateTime& when)
{
    if (exerciseId_.isEmpty())
        return std::nullopt;
    QJsonObject result{{QStringLiteral("completion"), true},
                       {QStringLiteral("duration"), Duration(began_.isValid() ? began_.msecsTo(when) : 0)}};
    // Nothing judged has no score (max would equal min); the profile is then not referred to,
    // as it asks of a statement without its score.
    if (judged_ > 0)
        result.insert(QStringLiteral("score"), Score(raw_, judged_));
    const QString grade = GradeOf(level_);
    const QJsonObject s = statement(Completed, LevelActivity(base_, level_, grade), result,
                                    context(level_, grade, {}, who(login_, computer_), judged_ > 0), when, login_,
                                    computer_);
    exerciseId_.clear();
    right_.clear();
    raw_ = judged_ = 0;
    return s;
}

} // namespace xapi
