// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/CommandLine.h"
#include "shell/WindowScale.h"
#include "xapi/Endpoint.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

void SetApplicationNames()
{
    QCoreApplication::setOrganizationName(QStringLiteral("porome"));
    QCoreApplication::setApplicationName(QStringLiteral("porome"));
    QCoreApplication::setApplicationVersion(QStringLiteral(POROME_VERSION));
}

CommandLine ParseCommandLine(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "ポロメ: a fraction drill for the third and fourth school years."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("Write a learning record (CSV) into <dir>."),
                                    QStringLiteral("dir"));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("Make an HTML report of the record files and "
                                                   "folders given as arguments, then exit."));
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("The report's file (with --report)."),
                                    QStringLiteral("file"));
    const QCommandLineOption scale(QStringLiteral("scale"),
                                   QStringLiteral("Window size: a factor such as 1.5, or 'fit'."),
                                   QStringLiteral("factor"));
    const QCommandLineOption teacher(QStringLiteral("teacher-report"),
                                     QStringLiteral("Make the report of the settings' record folder and store\n"
                                                    "for the last 30 days (or --since) and open it."));
    const QCommandLineOption lrs(QStringLiteral("lrs"),
                                 QStringLiteral("With --report: also read the learning record store at <url>\n"
                                                "(https://, or http:// to this computer only)."),
                                 QStringLiteral("url"));
    const QCommandLineOption lrsKey(QStringLiteral("lrs-key"),
                                    QStringLiteral("The key to read the store with (default: your own\n"
                                                   "settings' [lrs] readKey)."),
                                    QStringLiteral("key"));
    const QCommandLineOption lrsSecret(QStringLiteral("lrs-secret"),
                                       QStringLiteral("Its secret (default: your own settings' [lrs] readSecret)."),
                                       QStringLiteral("secret"));
    const QCommandLineOption since(QStringLiteral("since"),
                                   QStringLiteral("Only what was done from <date> on (YYYY-MM-DD or ISO 8601)."),
                                   QStringLiteral("date"));
    const QCommandLineOption roster(QStringLiteral("roster"),
                                    QStringLiteral("With --report: the classes' roster (OneRoster 1.2 CSV: a zip\n"
                                                   "or its folder) for names, 出席番号 and who has not drilled."),
                                    QStringLiteral("file"));
    const QCommandLineOption status(QStringLiteral("status"),
                                    QStringLiteral("Print the state of the learning record and the store\n"
                                                   "(folder, spool, last sent, last error), then exit."));
    parser.addOptions({record, report, output, scale, teacher, lrs, lrsKey, lrsSecret, since, roster, status});
    parser.addPositionalArgument(QStringLiteral("records"),
                                 QStringLiteral("Record files or folders: with --report, or alone to make\n"
                                                "the report next to them and open it."),
                                 QStringLiteral("[records...]"));

    // The parser names the running executable, or nothing before an application exists.
    // Made only when it is printed: the expression wakes the regular-expression engine, which
    // an ordinary start has no other use for.
    const auto usage = [&parser] {
        return parser.helpText().replace(QRegularExpression(QStringLiteral("^Usage: \\S+")),
                                         QStringLiteral("Usage: porome"));
    };
    CommandLine cl;
    const auto fail = [&](const QString& error) {
        cl.mode = CommandLine::Mode::Exit;
        cl.exitCode = 2;
        cl.toStderr = true;
        cl.message = QStringLiteral("porome: %1\n\n%2").arg(error, usage());
        return cl;
    };
    if (!parser.parse(args))
        return fail(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        cl.mode = CommandLine::Mode::Exit;
        cl.message = usage();
        return cl;
    }
    if (parser.isSet(version)) {
        cl.mode = CommandLine::Mode::Exit;
        cl.message = QStringLiteral("porome %1\n").arg(QStringLiteral(POROME_VERSION));
        return cl;
    }

    cl.recordDir = parser.value(record);
    cl.scale = parser.value(scale);
    if (parser.isSet(scale)) {
        QString error;
        if (!windowscale::Parse(cl.scale, &error) || cl.scale.trimmed().isEmpty())
            return fail(error.isEmpty() ? QStringLiteral("--scale needs 'fit' or a factor.")
                                        : QStringLiteral("--scale: ") + error);
    }
    cl.lrs = parser.value(lrs);
    cl.lrsKey = parser.value(lrsKey);
    cl.lrsSecret = parser.value(lrsSecret);
    cl.lrsKeyGiven = parser.isSet(lrsKey) || parser.isSet(lrsSecret);
    if (parser.isSet(since)) {
        const QString d = parser.value(since).trimmed();
        cl.since = QDateTime::fromString(d, Qt::ISODateWithMs);
        if (!cl.since.isValid()) {
            const QDate day = QDate::fromString(d, Qt::ISODate);
            if (day.isValid())
                cl.since = day.startOfDay();
        }
        if (!cl.since.isValid())
            return fail(QStringLiteral("--since needs a date such as 2026-04-01."));
    }
    const bool storeOptions = parser.isSet(lrs) || cl.lrsKeyGiven || parser.isSet(since);
    if (parser.isSet(lrs)) {
        // Refused before anything is read, as the sender refuses such an endpoint.
        const QUrl url(cl.lrs, QUrl::StrictMode);
        if (const QString why = xapi::CredentialProblem(url); !why.isEmpty())
            return fail(QStringLiteral("--lrs \"%1\" %2.")
                            .arg(url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment),
                                 why));
    }
    cl.roster = parser.value(roster);
    if (parser.isSet(roster) && (!parser.isSet(report) || cl.roster.trimmed().isEmpty()))
        return fail(parser.isSet(report) ? QStringLiteral("--roster needs the roster's zip or folder.")
                                         : QStringLiteral("--roster is only used with --report."));
    if (parser.isSet(status)) {
        if (parser.isSet(teacher) || parser.isSet(report) || parser.isSet(output) || parser.isSet(scale)
            || storeOptions || !parser.positionalArguments().isEmpty())
            return fail(QStringLiteral("--status takes only --record."));
        cl.mode = CommandLine::Mode::Status;
        return cl;
    }
    if (parser.isSet(teacher)) {
        if (parser.isSet(report) || parser.isSet(output) || !parser.positionalArguments().isEmpty()
            || parser.isSet(lrs) || cl.lrsKeyGiven)
            return fail(QStringLiteral("--teacher-report takes only --since."));
        cl.mode = CommandLine::Mode::TeacherReport;
        return cl;
    }
    if (parser.isSet(report)) {
        cl.mode = CommandLine::Mode::Report;
        cl.reportInputs = parser.positionalArguments();
        cl.reportOutput = parser.value(output);
        if (cl.reportInputs.isEmpty() && cl.lrs.isEmpty())
            return fail(QStringLiteral("--report needs at least one record file or folder, or --lrs URL."));
        if (cl.reportOutput.isEmpty())
            return fail(QStringLiteral("--report needs -o FILE for the page it writes."));
        return cl;
    }
    if (parser.isSet(output))
        return fail(QStringLiteral("-o is only used with --report."));
    if (storeOptions)
        return fail(QStringLiteral("--lrs, --lrs-key, --lrs-secret and --since are only used with --report."));
    // Record files or folders dropped on the program's icon arrive as its only arguments.
    const QStringList dropped = parser.positionalArguments();
    const bool records = !dropped.isEmpty() && cl.recordDir.isEmpty() && cl.scale.isEmpty()
                         && std::all_of(dropped.begin(), dropped.end(), [](const QString& a) {
                                const QFileInfo f(a);
                                return f.isDir() || (f.isFile() && a.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive));
                            });
    if (records) {
        cl.mode = CommandLine::Mode::Dropped;
        cl.reportInputs = dropped;
        return cl;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    return cl;
}
