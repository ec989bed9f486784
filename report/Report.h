// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "report/StoreSource.h"
#include "report/Summary.h"

// The report a teacher makes of a class's learning records: the summary on one HTML page
// that needs nothing from elsewhere, or a workbook.
namespace report {

// How many wrong answers of a level the page lists.
constexpr int kWrongAnswersShown = 10;
// `warning`, when given, stands under the title.
QString Html(const Summary& summary, const QString& title, const QString& warning = {});

// The workbook of the records: sheets クラス (the class table), レベル (per level), まちがい
// (per level and kind of mistake) and 記録 (every row, streamed as it is read). Every
// problem and answer is a text cell. Says why on failure in `error`.
// With `roster`, its クラス sheet has a row per enrolled pupil, class by class.
bool WriteWorkbook(const QStringList& inputs, const QString& output, Summary* summary, QString* error,
                   const RunSource& more = {}, const QDateTime& since = {}, std::shared_ptr<const Roster> roster = {});

// Where the report of dropped records and the teacher's report go: the user's own
// documents folder, never beside the records, which pupils' accounts write into.
QString ReportFolder();
// Writes porome-report.html and porome-report.xlsx there; gives the page's path, empty
// when it could not be written.
// With `store`, its statements too; `folder`, when given, is where the report goes (else
// ReportFolder()); on Linux only the user reads what is written there. When
// no page is made, `problem` gets why. With `since`, only what was done from then on.
QString RunDropped(const QStringList& inputs, const StoreQuery* store = nullptr, const QString& folder = {},
                   QString* problem = nullptr, const QDateTime& since = {}, std::shared_ptr<const Roster> roster = {});

// --report: writes the page, or the workbook when `output` ends in .xlsx, of the record
// files and, when `store` is given, the store's statements; prints one line about it and
// returns the exit status. A store that cannot be read to the end leaves no report; then,
// or when the report cannot be written, `problem` gets why. With `roster` (LoadRoster), the
// class table is the roster's classes; a roster that cannot be used leaves the report as it
// is without one, and says why on the page.
int Run(const QStringList& inputs, const QString& output, const StoreQuery* store = nullptr,
        QString* problem = nullptr, const QDateTime& since = {}, std::shared_ptr<const Roster> roster = {});

} // namespace report
