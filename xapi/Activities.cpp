// SPDX-License-Identifier: GPL-3.0-or-later
#include "xapi/Activities.h"

#include "shell/Texts.h"
#include "xapi/Statements.h"
#include "xapi/Vocabulary.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QRegularExpression>

namespace xapi::activities {

using namespace vocab;

namespace {

QString Caption(int level)
{
    return level >= 1 && level <= int(texts::LevelNames.size()) ? texts::LevelNames[size_t(level - 1)] : QString();
}

// Stable for one problem of a level: the numbers of its words (a "？" as x, so that ？/6 and
// 6/？ differ), else the problem number.
QString ProblemId(const QString& base, int level, const QString& words, const QString& number)
{
    static const QRegularExpression token(QStringLiteral("[0-9]+|？"));
    QStringList parts;
    for (auto it = token.globalMatch(words); it.hasNext();) {
        const QString t = it.next().captured();
        parts << (t == QStringLiteral("？") ? QStringLiteral("x") : t);
    }
    const QString tail = parts.isEmpty() ? QStringLiteral("number-") + number : parts.join(u'-');
    return LevelActivityId(base, level) + QStringLiteral("/problems/") + tail;
}

} // namespace

QJsonObject InJapanese(const QString& text)
{
    return {{Japanese, text}};
}

void AddSubject(QJsonObject& extensions, const QString& grade)
{
    extensions.insert(Subject, QJsonArray{QStringLiteral("算数")});
    extensions.insert(Grade, QJsonArray{grade});
    extensions.insert(Unit, QJsonArray{QStringLiteral("分数")});
}

QJsonObject Activity(const QString& id, QJsonObject definition)
{
    return {{QStringLiteral("objectType"), QStringLiteral("Activity")}, {QStringLiteral("id"), id},
            {QStringLiteral("definition"), definition}};
}

QJsonObject LevelActivity(const QString& base, int level, const QString& grade)
{
    QJsonObject definition{{QStringLiteral("type"), Assessment}};
    const QString caption = Caption(level);
    if (!caption.isEmpty())
        definition.insert(QStringLiteral("name"), InJapanese(caption));
    QJsonObject extensions;
    AddSubject(extensions, grade);
    definition.insert(QStringLiteral("extensions"), extensions);
    return Activity(LevelActivityId(base, level), definition);
}

QJsonObject ProblemActivity(const QString& base, int level, const record::Row& row)
{
    const QStringList& f = row.fields;
    QJsonObject definition{{QStringLiteral("type"), Interaction}};
    if (!f[record::ProblemWords].isEmpty())
        definition.insert(QStringLiteral("name"), InJapanese(f[record::ProblemWords]));
    switch (row.input) {
    case record::Input::Typed: definition.insert(QStringLiteral("interactionType"), QStringLiteral("fill-in")); break;
    case record::Input::Picture: definition.insert(QStringLiteral("interactionType"), QStringLiteral("other")); break;
    case record::Input::Button: {
        definition.insert(QStringLiteral("interactionType"), QStringLiteral("choice"));
        // The response is the caption of the button pressed, so the captions are the ids.
        QJsonArray choices;
        for (const QString& kind : {texts::Proper, texts::Improper, texts::Mixed})
            choices << QJsonObject{{QStringLiteral("id"), kind}, {QStringLiteral("description"), InJapanese(kind)}};
        definition.insert(QStringLiteral("choices"), choices);
        break;
    }
    }
    if (!row.correct.isEmpty())
        definition.insert(QStringLiteral("correctResponsesPattern"), QJsonArray::fromStringList(row.correct));
    QJsonObject extensions;
    AddSubject(extensions, f[record::Year]);
    definition.insert(QStringLiteral("extensions"), extensions);
    return Activity(ProblemId(base, level, f[record::ProblemWords], f[record::Problem]), definition);
}

QJsonObject AsContext(QJsonObject activity)
{
    QJsonObject definition = activity[QStringLiteral("definition")].toObject();
    definition.remove(QStringLiteral("extensions"));
    activity[QStringLiteral("definition")] = definition;
    return activity;
}

QJsonObject ShownActivity(const QString& base, bool hint, const QString& text, const QString& grade)
{
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    QJsonObject definition{{QStringLiteral("type"), Page}};
    if (!text.isEmpty())
        definition.insert(QStringLiteral("name"), InJapanese(text));
    QJsonObject extensions;
    AddSubject(extensions, grade);
    // A message is no hint, result or explanation: it carries no content type.
    if (hint)
        extensions.insert(ContentType, QJsonArray{QStringLiteral("hint")});
    definition.insert(QStringLiteral("extensions"), extensions);
    return Activity(base + (hint ? QStringLiteral("/hints/") : QStringLiteral("/messages/")) + key, definition);
}

} // namespace xapi::activities
