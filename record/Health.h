// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "record/Recorder.h"
#include "record/Spool.h"
#include "record/StoreSender.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>

struct StoreSettings;

// Whether the learning record works, for the menu's corner line at start, `porome --status`
// and the log: the record folder, the store's settings, its spool and what its sender saw.
namespace record {

// The record folder as a start finds it.
struct FolderState
{
    QString path;            // empty: no folder set, no CSV record
    bool exists = false;
    bool writable = false;   // a start can make its file there (making the folder where it is missing)
    QString error;           // why not
    QString owner, group;    // of the folder, where the system tells
    uint mode = 0;           // its permission bits, with setgid and sticky; 0 where unknown
};
// Tries to make a file there (and removes it), rather than reading the permissions, which do
// not tell everything (a read-only share, an ACL).
FolderState LookAtFolder(const QString& path);

struct Health
{
    FolderState folder;
    QString unsentFolder;
    int unsentFiles = 0;     // rows of earlier runs the folder refused until their end
    bool storeSet = false;
    QString store;           // the endpoint, as it may be shown
    QString storeProblem;    // why the settings cannot be used; empty when they can
    QString spoolFolder;
    Spool::Contents spool;
    StoreSender::State sender;
};
Health Gather(const QString& folder, const StoreSettings& store, const QString& spoolFolder,
              const QString& unsentFolder);

// What does not work, as the menu's corner says it.
struct Problems
{
    bool folder = false;          // the record folder cannot be written
    bool storeSettings = false;   // the store's settings cannot be used, or its spool made
    bool refused = false;         // the store refused the key and secret at the last try
    int daysBehind = 0;           // whole days the oldest unsent statement has waited
    bool Any() const { return folder || storeSettings || refused || daysBehind > 0; }
};
Problems ProblemsOf(const Health& h, const QDateTime& now);
int DaysWaiting(const QDateTime& oldest, const QDateTime& now);

// The corner's line, as the teacher reads it; empty when nothing is wrong.
QString CornerText(const Problems& p);

// The record of one run of the window, as the settings ask for it: the CSV file in `folder`
// (none when empty) and the store, each left out where it cannot work. `recorder` is null
// when neither works or none is asked for; `problems` and one English line each in `lines`
// say what does not work, also what earlier runs left: a refused key, statements unsent
// for more than a day.
struct Opened
{
    std::unique_ptr<Recorder> recorder;
    Problems problems;
    QStringList lines;
};
Opened OpenRecord(const QString& folder, const StoreSettings& store, const QString& platform,
                  const QDateTime& now, const QString& spoolFolder, const QString& unsentFolder);

// `porome --status`: the record's and the store's state, a fact a line.
QString StatusText(const Health& h, const QDateTime& now);

// porome.log in the user's own data folder (AppLocalDataLocation), for a computer where no
// one sees standard error; kept under a bound by moving the older half aside.
QString LogPath();
void Log(const QStringList& lines, const QDateTime& now = QDateTime::currentDateTime(),
         const QString& path = LogPath());

} // namespace record
