// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>

// What the command line asks of one run of the program. Parsed before any window exists, so
// that --help, --version, a mistyped option and --report never need a display.
struct CommandLine
{
    enum class Mode { Window, Report, Dropped, TeacherReport, Status, Exit };
    Mode mode = Mode::Window;
    int exitCode = 0;      // for Mode::Exit
    QString message;       // printed before exiting: help, version or the error with the usage
    bool toStderr = false; // an error goes to standard error

    QString recordDir;         // --record DIR; empty when not given
    QStringList reportInputs;  // --report FILE_OR_FOLDER..., or the records dropped on the program
    QString reportOutput;      // -o FILE with --report
    QString scale;             // --scale FACTOR or "fit"; empty when not given
    QString lrs;               // --lrs URL with --report: the store read with the files
    QString lrsKey, lrsSecret; // --lrs-key, --lrs-secret; empty: from the settings
    bool lrsKeyGiven = false;  // either was given
    QDateTime since;           // --since DATE; invalid when not given
    QString roster;            // --roster FILE with --report: the class lists (zip or folder)
};

// args holds the program name first, as QCoreApplication::arguments() does.
CommandLine ParseCommandLine(const QStringList& args);

// The application's names, which also name its settings file
// (~/.config/porome/porome.conf, or /etc/xdg/porome/porome.conf for every account).
void SetApplicationNames();
