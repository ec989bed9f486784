// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "record/Row.h"

#include <QJsonObject>
#include <QString>

// The activities of the program's statements: the level, its problems, and what was shown.
namespace xapi::activities {

QJsonObject InJapanese(const QString& text);
// What the profile asks of every activity and context of a drill of fractions: subject,
// grade and unit.
void AddSubject(QJsonObject& extensions, const QString& grade);
QJsonObject Activity(const QString& id, QJsonObject definition);
// The level as the assessment an exercise attempts, named by its menu caption.
QJsonObject LevelActivity(const QString& base, int level, const QString& grade);
// The row's problem as an interaction of its level, with the right answers where known.
QJsonObject ProblemActivity(const QString& base, int level, const record::Row& row);
// A hint or message shown: one activity per text, wherever it was shown.
QJsonObject ShownActivity(const QString& base, bool hint, const QString& text, const QString& grade);
// An activity as context: its id, type and name, without the extensions its own statements carry.
QJsonObject AsContext(QJsonObject activity);

} // namespace xapi::activities
