// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// What the teacher's report shows of a class, built from rows of the learning record
// (record files, a store): counts per computer and login and per level, and the most
// frequent wrong answers of each level.
namespace report {

class Roster;

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
    // With a roster: the user the login names and the homeroom class of the rows' school
    // year (-1: none), and whether any of the rows is a check.
    int user = -1, klass = -1;
    bool checked = false;
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
    // The class lists the rows were matched to; null without one.
    std::shared_ptr<const Roster> roster;
    int files = 0, rows = 0, skipped = 0;
    QStringList unreadable;   // inputs that are neither a readable file nor a folder
};

// Every readable row of a record, its fields in the order of record::Header() (the kind of
// mistake empty for records written before that column).
using RowSink = std::function<void(const QStringList& fields)>;

class SummaryBuilder;
// Rows from elsewhere than files (a store), given to the builder after the files.
using RunSource = std::function<void(SummaryBuilder&)>;

// Reads the record files and every *.csv below the folders among `inputs`, one file at a
// time, then what `more` gives; `rows`, when given, receives every row as it is read. With
// `since`, only the rows of that moment on.
// With `roster`, each row's pupil and class are looked up in it.
Summary Summarize(const QStringList& inputs, const RowSink& rows = {}, const RunSource& more = {},
                  const QDateTime& since = {}, std::shared_ptr<const Roster> roster = {});
// The same for records already in memory (one text per file).
Summary SummarizeTexts(const QStringList& texts);
// Builds the summary from rows, one run of the program at a time: a record file, or the
// rows of one exercise read from a store. Problems are known by their serials, which are
// a run's own.
class SummaryBuilder
{
public:
    explicit SummaryBuilder(RowSink rows = {});
    ~SummaryBuilder();
    SummaryBuilder(const SummaryBuilder&) = delete;
    SummaryBuilder& operator=(const SummaryBuilder&) = delete;
    // One record file's text, its header first. Rows without a login are `pupil`'s (a record
    // file saved on the page names no login, and is handed in named for its pupil).
    void AddText(QStringView text, const QString& pupil = {});
    // The rows of one run read from elsewhere, fields in the order of record::Header().
    void AddRun(const std::vector<QStringList>& rows);
    void AddUnreadable(const QString& input);
    // Leaves out the rows made before `since` (invalid: none). A run's rows of a check that a
    // record file given before had (the program wrote it there and sent it to the store) are
    // left out too: each check counts once.
    void SetSince(const QDateTime& since);
    // Rows read from then on are matched to the roster's pupils and classes, when it is usable.
    void SetRoster(std::shared_ptr<const Roster> roster);
    Summary Finish();

private:
    struct Accumulator;
    std::unique_ptr<Accumulator> acc_;
};

// The rows of the class table: one per pupil, named by the login, and by the computer too
// where one login is used on several computers.
struct Pupil
{
    QString name, group;   // group: the "computer / login" of Summary::byGroup
};
std::vector<Pupil> Pupils(const Summary& summary);
// "computer / login" of a group, with its class where a roster gave one.
QString GroupLabel(const Summary& summary, const QString& group);

// The class table with a roster: a section per homeroom class that has rows, every pupil
// enrolled in it, and last the rows whose login is in no class of the roster.
struct ClassRow
{
    int number = 0;       // 出席番号; 0 when the roster gives none, or in no roster
    QString name;         // なまえ（かな）, or the login of a row in no roster
    bool checked = false; // a check in the period; false: 「まだ　していません」
    std::map<int, Counts> levels;
    std::vector<MistakeCount> kinds;   // most frequent first
};
struct ClassSection
{
    QString title;           // the class's title; for the rows in no roster 「めいぼに　ない　人」
    bool listed = true;      // false for the rows in no roster
    std::vector<ClassRow> rows;   // those without a check first, each part in 出席番号 order
};
// Empty without a usable roster. `idle`, when given, gets the roster's homeroom classes left
// out for having no rows.
std::vector<ClassSection> RosterSections(const Summary& summary, int* idle = nullptr);
// The level's name in the report, "3年 L01".
QString LevelLabel(int level);
// The share of the problems worked on that were right at once, 0..1; -1 without problems.
double RightShare(const Counts& c);

} // namespace report
