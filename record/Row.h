// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>

// One row of the learning record: the one shape between what writes the record (the CSV
// file, the store) and what reads it back (the report).
namespace record {

// The columns of a learning record, in the order of the file.
enum Column {
    When, Computer, Login, Year, LevelName, Level, Slot, Problem, ProblemWords, Answer, Outcome, Try, Kind, Serial, Mistake,
    ColumnCount
};
// The header row, one name per column.
const QStringList& Header();
// The values of the Kind column.
inline const QString KindCheck = QStringLiteral("チェック");
inline const QString KindButton = QStringLiteral("ボタン");
inline const QString KindHint = QStringLiteral("ヒント");
inline const QString KindMessage = QStringLiteral("メッセージ");
// The marks of the Outcome column for checks and kind buttons.
inline const QString Right = QStringLiteral("○");
inline const QString RightLater = QStringLiteral("△");
inline const QString Wrong = QStringLiteral("×");

// How the answer of a check was given.
enum class Input { Typed, Button, Picture };

struct Row
{
    // ColumnCount fields in the order of Header(), the answer as the pupil gave it (the CSV
    // file makes it inert for spreadsheets itself).
    QStringList fields;
    // The moment of the row, to the millisecond, in local time with its offset.
    QDateTime when;
    // What only the store carries: how the answer was given, and the right answer in the
    // words of the answer column (every form the level takes); empty for hints and messages.
    Input input = Input::Typed;
    QStringList correct;
};

} // namespace record

// Where the recorder's rows go: the CSV file of the record folder, the school's store.
// Sinks are called on the window's thread and never make it wait.
class RecordSink
{
public:
    virtual ~RecordSink() = default;
    // 「けってい」 started an exercise of `level`.
    virtual void ExerciseBegins(int level, const QDateTime& when) = 0;
    virtual void Add(const record::Row& row) = 0;
    // The exercise ended: 終わる, or the program ends with one open.
    virtual void ExerciseEnds(const QDateTime& when) = 0;
    // Puts everything that waits where it lasts: at the end, or when the session ends.
    virtual void Finish() = 0;
};
