// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "record/Row.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

// xAPI 1.0.3 statements of the learning record, in the shape of the Japan xAPI Profiles'
// assessment profile. Plain data: no network and no files, so that the desktop, the page
// and the report build and read the same statements.
namespace xapi {

// Where the program's activity ids sit unless the settings name another base.
QString DefaultActivityBase();
// True for an absolute IRI: a scheme, a colon and more, no blanks.
bool IsIri(const QString& text);

struct Settings
{
    QString activityBase;   // empty (or not an IRI): DefaultActivityBase()
    QString homePage;       // the school's IRI: the actor's account homePage; empty: the activity base
    QString platform;       // the program, its version and the target, as context.platform; empty: "ポロメ <version>"
    QString registration;   // a launch's registration (a UUID); empty on the desktop
    QJsonObject actor;      // a launch's actor; empty: an account made of the rows' login
    bool sharedLogins = false;   // one login on several computers: the name is "login@computer"
};

// The statements of one run of the program, built from what the recorder sees.
class Statements
{
public:
    explicit Statements(Settings settings, std::function<QUuid()> newId = &QUuid::createUuid);

    // 「けってい」: `attempted` of a new exercise of `level`.
    QJsonObject Begin(int level, const QDateTime& when, const QString& computer, const QString& login);
    // A check or kind button: `answered`; a hint or a message: `viewed`. Fields the statement
    // has no place for (computer, slot, problem number, serial, kind) go into extensions under
    // <base>/extensions/, so that RowOf gives the row back.
    QJsonObject Add(const record::Row& row);
    // `completed` of the open exercise, with its duration and score; none when none is open.
    // Score: max = the problems judged (a check or kind button with ○, △ or ×, each problem
    // once by its serial), raw = those whose last mark is ○ or △. Nothing judged: no score.
    std::optional<QJsonObject> End(const QDateTime& when);

    const Settings& settings() const { return settings_; }
    // The base the activity ids sit under: the settings' (without a trailing slash) when it
    // is an IRI, else DefaultActivityBase().
    const QString& activityBase() const { return base_; }

private:
    QJsonObject statement(const QString& verb, const QJsonObject& object, const QJsonObject& result,
                          const QJsonObject& context, const QDateTime& when, const QString& login,
                          const QString& computer);
    QJsonObject context(int level, const QString& grade, const QJsonArray& parent, QJsonObject extensions,
                        bool profile) const;
    // The program's extensions: the computer, and the login where the actor does not name it.
    QJsonObject who(const QString& login, const QString& computer) const;
    QString actorName(const QString& login, const QString& computer) const;
    // Counts a check's mark into the open exercise's score.
    void count(const QStringList& fields);

    Settings settings_;
    std::function<QUuid()> newId_;
    QString base_;
    // The open exercise.
    int level_ = 0;
    QString exerciseId_, computer_, login_;
    QDateTime began_;
    // The score of the open exercise: each problem judged (by its serial) counts once, with
    // its last mark; raw are those whose last mark is ○ or △.
    int raw_ = 0, judged_ = 0;
    QHash<QString, bool> right_;
};

// The ids the report asks the store for.
QString LevelActivityId(const QString& base, int level);
QString AnsweredVerb();
QString ViewedVerb();

// One of the program's `answered` or `viewed` statements back into the row it was built
// from (fields as the CSV reader gives them); none for any other statement.
std::optional<record::Row> RowOf(const QJsonObject& statement);

} // namespace xapi
