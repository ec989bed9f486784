// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

// The report a teacher makes of a class's learning records: counts per computer and login
// and per level, a bar chart of them and the most frequent wrong answers of each level,
// on one HTML page that needs nothing from elsewhere.
namespace report {

struct Counts
{
    int problems = 0;   // problems worked on: checked at least once
    int right = 0;      // ○: right at the first check
    int later = 0;      // △: right at a later check
    int wrong = 0;      // ×: wrong three times, the problem given up
    int hints = 0;      // hints shown at a check
    Counts& operator+=(const Counts& o);
    bool operator==(const Counts&) const = default;
};

struct WrongAnswer
{
    QString problem, answer;
    int count = 0;
    QString kind;   // the record's まちがいのしゅるい; empty in records written before it
};

// One kind of mistake of a level: how many wrong tries it named and its two most frequent
// wrong answers.
struct MistakeCount
{
    QString kind;
    int count = 0;
    std::vector<WrongAnswer> examples;
};

// A computer and login of the record.
struct Who
{
    QString computer, login;
};

struct Summary
{
    // "computer / login" -> level (1..22) -> counts
    std::map<QString, std::map<int, Counts>> byGroup;
    std::map<int, Counts> byLevel;
    // Per level, the wrong answers (and answers that drew a hint) with their problems,
    // most frequent first.
    std::map<int, std::vector<WrongAnswer>> wrongAnswers;
    // Per level, its wrong tries grouped by kind, most frequent first.
    std::map<int, std::vector<MistakeCount>> mistakeKinds;
    // Per "computer / login", the kinds of its wrong tries, most frequent first.
    std::map<QString, std::vector<MistakeCount>> groupMistakes;
    std::map<QString, Who> who;
    int files = 0, rows = 0, skipped = 0;
    QStringList unreadable;   // inputs that are neither a readable file nor a folder
};

// Every readable row of a record, its fields in the order of record::Header() (the kind of
// mistake empty for records written before that column).
using RowSink = std::function<void(const QStringList& fields)>;

// Reads the record files and every *.csv below the folders among `inputs`, one file at a
// time; `rows`, when given, receives every row as it is read.
Summary Summarize(const QStringList& inputs, const RowSink& rows = {});
// The same for records already in memory (one text per file).
Summary SummarizeTexts(const QStringList& texts);
// How many wrong answers of a level the page lists.
constexpr int kWrongAnswersShown = 10;
QString Html(const Summary& summary, const QString& title);

// The rows of the class table: one per pupil, named by the login, and by the computer too
// where one login is used on several computers.
struct Pupil
{
    QString name, group;   // group: the "computer / login" of Summary::byGroup
};
std::vector<Pupil> Pupils(const Summary& summary);
// The level's name in the report, "3年 L01".
QString LevelLabel(int level);
// The share of the problems worked on that were right at once, 0..1; -1 without problems.
double RightShare(const Counts& c);

// The workbook of the records: sheets クラス (the class table), レベル (per level), まちがい
// (per level and kind of mistake) and 記録 (every row, streamed as it is read). Every
// problem and answer is a text cell. Says why on failure in `error`.
bool WriteWorkbook(const QStringList& inputs, const QString& output, Summary* summary, QString* error);

// Where the report of records dropped on the program goes: the folder of the first of them
// (the folder itself, when one was dropped) when it can be written there, else the user's
// documents folder.
QString DroppedReportFolder(const QStringList& inputs);
// Writes porome-report.html and porome-report.xlsx there; gives the page's path, empty
// when it could not be written.
QString RunDropped(const QStringList& inputs);

// --report: writes the page, or the workbook when `output` ends in .xlsx; prints one line
// about it and returns the exit status.
int Run(const QStringList& inputs, const QString& output);

} // namespace report
