// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/CommandLine.h"
#include "shell/WindowScale.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

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
    parser.addOptions({record, report, output, scale});
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
    if (parser.isSet(report)) {
        cl.mode = CommandLine::Mode::Report;
        cl.reportInputs = parser.positionalArguments();
        cl.reportOutput = parser.value(output);
        if (cl.reportInputs.isEmpty())
            return fail(QStringLiteral("--report needs at least one record file or folder."));
        if (cl.reportOutput.isEmpty())
            return fail(QStringLiteral("--report needs -o FILE for the page it writes."));
        return cl;
    }
    if (parser.isSet(output))
        return fail(QStringLiteral("-o is only used with --report."));
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
