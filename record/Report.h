// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QStringList>
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
};

struct Summary
{
    // "computer / login" -> level (1..22) -> counts
    std::map<QString, std::map<int, Counts>> byGroup;
    std::map<int, Counts> byLevel;
    // Per level, the wrong answers (and answers that drew a hint) with their problems,
    // most frequent first.
    std::map<int, std::vector<WrongAnswer>> wrongAnswers;
    int files = 0, rows = 0, skipped = 0;
    QStringList unreadable;   // inputs that are neither a readable file nor a folder
};

// Reads the record files and every *.csv below the folders among `inputs`.
Summary Summarize(const QStringList& inputs);
// The same for records already in memory (one text per file).
Summary SummarizeTexts(const QStringList& texts);
// How many wrong answers of a level the page lists.
constexpr int kWrongAnswersShown = 10;
QString Html(const Summary& summary, const QString& title);

// --report: writes the page; prints one line about it and returns the exit status.
int Run(const QStringList& inputs, const QString& output);

} // namespace report
