// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "record/Row.h"

#include <QDateTime>
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
    QString activityBase;   // empty: DefaultActivityBase()
    QString homePage;       // the school's IRI: the actor's account homePage
    QString platform;       // the program, its version and the target, as context.platform
    QString registration;   // a launch's registration (a UUID); empty on the desktop
    QJsonObject actor;      // a launch's actor; empty: an account made of the rows' login
    bool sharedLogins = false;   // one login on several computers: the computer joins the name
};

// The statements of one run of the program, built from what the recorder sees.
class Statements
{
public:
    explicit Statements(Settings settings, std::function<QUuid()> newId = &QUuid::createUuid);

    // 「けってい」: `attempted` of a new exercise of `level`.
    QJsonObject Begin(int level, const QDateTime& when, const QString& computer, const QString& login);
    // A check or kind button: `answered`; a hint or a message: `viewed`.
    QJsonObject Add(const record::Row& row);
    // `completed` of the open exercise, with its duration and score; none when none is open.
    std::optional<QJsonObject> End(const QDateTime& when);

    const Settings& settings() const { return settings_; }

private:
    Settings settings_;
    std::function<QUuid()> newId_;
    // The open exercise.
    int level_ = 0;
    QString exerciseId_, computer_, login_;
    QDateTime began_;
    int raw_ = 0, judged_ = 0;
};

// The ids the report asks the store for.
QString LevelActivityId(const QString& base, int level);
QString AnsweredVerb();
QString ViewedVerb();

// One of the program's `answered` or `viewed` statements back into the row it was built
// from (fields as the CSV reader gives them); none for any other statement.
std::optional<record::Row> RowOf(const QJsonObject& statement);

} // namespace xapi
