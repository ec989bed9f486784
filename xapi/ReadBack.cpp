// SPDX-License-Identifier: GPL-3.0-or-later
// The program's answered and viewed statements back into the record's rows.
#include "xapi/Statements.h"
#include "xapi/Vocabulary.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace xapi {

using namespace vocab;

namespace {

QString Text(const QJsonValue& v)
{
    return v.isDouble() ? QString::number(v.toInteger()) : v.toString();
}

QString JapaneseName(const QJsonObject& activity)
{
    return activity[QStringLiteral("definition")][QStringLiteral("name")][Japanese].toString();
}

bool IsProblem(const QJsonObject& activity)
{
    return activity[QStringLiteral("definition")][QStringLiteral("type")].toString() == Interaction;
}

} // namespace

std::optional<record::Row> RowOf(const QJsonObject& statement)
{
    const QString verb = statement[QStringLiteral("verb")][QStringLiteral("id")].toString();
    const bool answered = verb == Answered;
    if (!answered && verb != Viewed)
        return std::nullopt;
    const QJsonObject context = statement[QStringLiteral("context")].toObject();
    const QJsonArray parent = context[QStringLiteral("contextActivities")][QStringLiteral("parent")].toArray();

    // The level's activity names the base of every id and extension of the program.
    static const QRegularExpression levelId(QStringLiteral("^(.+)/levels/([0-9]+)$"));
    QString base, level;
    QJsonObject levelActivity, problem;
    for (const QJsonValue& v : parent) {
        const QJsonObject a = v.toObject();
        const QRegularExpressionMatch m = levelId.match(a[QStringLiteral("id")].toString());
        if (m.hasMatch() && base.isEmpty()) {
            base = m.captured(1);
            level = m.captured(2);
            levelActivity = a;
        } else if (IsProblem(a)) {
            problem = a;
        }
    }
    if (base.isEmpty())
        return std::nullopt;
    const QJsonObject object = statement[QStringLiteral("object")].toObject();
    if (answered)
        problem = object;
    const QJsonObject extensions = context[QStringLiteral("extensions")].toObject();
    const QJsonObject result = statement[QStringLiteral("result")].toObject();
    const QJsonObject resultExtensions = result[QStringLiteral("extensions")].toObject();
    const auto own = [&](const QJsonObject& from, const QString& name) { return from[Extension(base, name)]; };
    if (own(extensions, ext::Kind).isUndefined())
        return std::nullopt;   // not one of the program's rows

    record::Row row;
    row.when = QDateTime::fromString(statement[QStringLiteral("timestamp")].toString(), Qt::ISODateWithMs)
                   .toLocalTime();
    QStringList& f = row.fields;
    f.resize(record::ColumnCount);
    f[record::When] = row.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    f[record::Computer] = Text(own(extensions, ext::Computer));
    const QJsonValue login = own(extensions, ext::Login);
    f[record::Login] = login.isUndefined()
                           ? statement[QStringLiteral("actor")][QStringLiteral("account")][QStringLiteral("name")]
                                 .toString()
                           : Text(login);
    f[record::Year] = Text(extensions[Grade].toArray().at(0));
    f[record::LevelName] = JapaneseName(levelActivity).left(3);
    f[record::Level] = level;
    f[record::Slot] = Text(own(extensions, ext::Slot));
    f[record::Problem] = Text(own(extensions, ext::ProblemNumber));
    f[record::ProblemWords] = JapaneseName(problem);
    f[record::Answer] = result[QStringLiteral("response")].toString();
    f[record::Outcome] = answered ? Text(own(resultExtensions, ext::Mark)) : JapaneseName(object);
    f[record::Try] = Text(own(resultExtensions, ext::Try));
    f[record::Kind] = Text(own(extensions, ext::Kind));
    f[record::Serial] = Text(own(extensions, ext::Serial));
    f[record::Mistake] = Text(own(resultExtensions, ext::Mistake));

    const QJsonObject definition = problem[QStringLiteral("definition")].toObject();
    const QString type = definition[QStringLiteral("interactionType")].toString();
    row.input = type == QStringLiteral("choice") ? record::Input::Button
                : type == QStringLiteral("other") ? record::Input::Picture
                                                  : record::Input::Typed;
    for (const QJsonValue& v : definition[QStringLiteral("correctResponsesPattern")].toArray())
        row.correct << v.toString();
    return row;
}

} // namespace xapi
