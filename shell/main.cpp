// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Health.h"
#include "record/RecordingPlatform.h"
#include "record/StoreSettings.h"
#include "record/StoreSink.h"
#include "report/Report.h"
#include "report/Roster.h"
#include "shell/CommandLine.h"
#include "shell/Form1.h"
#include "shell/QtPlatform.h"
#include "shell/ScaledWindow.h"
#include "shell/Termination.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <optional>

#include <cstdio>
#include <cstdlib>

namespace {

// The record of this run, for an exit that leaves the stack behind (a lost display).
Recorder* runningRecorder = nullptr;

QStringList Arguments(int argc, char* argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

// The program, its version and the machine, as the store's statements name them.
QString PlatformName()
{
#if defined(Q_OS_WIN)
    const char* target = "Windows";
#else
    const char* target = "Linux";
#endif
    return QStringLiteral("ポロメ %1 (%2)").arg(QStringLiteral(POROME_VERSION), QLatin1String(target));
}

int RunWindow(int argc, char* argv[], const CommandLine& cl)
{
    QApplication app(argc, argv);
    // Names the desktop entry, so that the desktop shows the running window as that program.
    QGuiApplication::setDesktopFileName(QStringLiteral(POROME_APP_ID));
    PrepareApplication();

    QtPlatform platform;
    // The learning record, only when the teacher asked for one: a CSV file in the record
    // folder, the school's store, or both. Otherwise no file is touched and nothing is sent.
    // What cannot work is said on standard error, in the log and in the menu's corner.
    const QSettings settings;
    record::Opened opened = record::OpenRecord(record::Folder(cl.recordDir, settings), StoreSettings::Read(settings),
                                               PlatformName(), QDateTime::currentDateTime(), StoreSink::SpoolFolder(),
                                               Recorder::UnsentFolder());
    for (const QString& line : opened.lines)
        std::fprintf(stderr, "%s\n", qPrintable(line));
    record::Log(opened.lines);
    std::unique_ptr<Recorder> recorder = std::move(opened.recorder);
    std::unique_ptr<RecordingPlatform> recording;
    if (recorder) {
        recording = std::make_unique<RecordingPlatform>(platform, *recorder);
        // Rows still waiting for the folder are written when the session ends or the
        // program is told to stop, as when it closes.
        QObject::connect(&app, &QGuiApplication::commitDataRequest, [&recorder] { recorder->Finish(); });
        runningRecorder = recorder.get();
        std::atexit([] {
            if (runningRecorder)
                runningRecorder->Finish();
        });
    }
    QuitOnTermination();
    Form1 window(recording ? static_cast<Platform&>(*recording) : platform, nullptr,
                 Form1::Build::MenuFirst);
    if (recorder) {
        recorder->Attach(window.exercise());
        window.recorder = recorder.get();
    }
    window.Form_Load();
    window.ShowRecordNotice(record::CornerText(opened.problems));
    ScaledWindow top(window, RequestedScale(cl.scale));
    // Message boxes belong to the real window: over it, never drawn inside the scaled view.
    platform.setWindow(&top);
    top.show();
    const int status = QApplication::exec();
    if (recorder)
        recorder->Finish();
    runningRecorder = nullptr;
    return status;
}

// Records dropped on the program's icon: the report in the user's documents, then shown in
// the default browser where there is a display.
bool HasDisplay()
{
#ifdef Q_OS_WIN
    return true;
#else
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#endif
}

// A report asked for from the desktop's menu that cannot be made: the teacher is told in a
// box, not only on a standard error nobody sees.
int ShowProblem(int argc, char* argv[], const QString& problem)
{
    if (!HasDisplay() || problem.isEmpty())
        return 1;
    QApplication app(argc, argv);
    PrepareApplication();
    QMessageBox::warning(nullptr, QStringLiteral("ポロメ　きろく"),
                         QStringLiteral("きろくのレポートを　つくれませんでした。\n\n%1").arg(problem));
    return 1;
}

int ShowPage(int argc, char* argv[], const QString& page, const QString& problem = {})
{
    if (page.isEmpty())
        return ShowProblem(argc, argv, problem);
#ifndef Q_OS_WIN
    if (!HasDisplay()) {
        std::printf("porome: no display to show the report; it is in %s\n",
                    qPrintable(QDir::toNativeSeparators(page)));
        return 0;
    }
#endif
    QGuiApplication app(argc, argv);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page))) {
        std::printf("porome: the report could not be opened; it is in %s\n", qPrintable(QDir::toNativeSeparators(page)));
        return 0;
    }
    return 0;
}

int ShowDroppedReport(int argc, char* argv[], const QStringList& inputs)
{
    QString problem;
    const QString page = report::RunDropped(inputs, nullptr, {}, &problem);
    return ShowPage(argc, argv, page, problem);
}

// The store to read: the key from the command line, else the teacher's own settings, never
// the machine's (which only writes); the school from the settings' [lrs] group. Empty with
// `problem` set when there is no key to read with.
std::optional<report::StoreQuery> StoreOf(const CommandLine& cl, const QUrl& endpoint, QString* problem)
{
    const StoreSettings settings = StoreSettings::Read(QSettings());
    report::StoreQuery q;
    q.endpoint = endpoint;
    if (cl.lrsKeyGiven) {
        q.key = cl.lrsKey;
        q.secret = cl.lrsSecret;
    } else {
        const ReadKey key = ReadKey::FromSettings();
        if (!key.problem.isEmpty()) {
            *problem = key.problem;
            return std::nullopt;
        }
        q.key = key.key;
        q.secret = key.secret;
    }
    q.homePage = settings.homePage;
    q.activityBase = settings.activityBase;
    q.since = cl.since;
    return q;
}

// The roster a report is made with: --roster, else the settings' report/roster; how a login
// is matched to its user, from report/rosterMatch. Null without one.
std::shared_ptr<const report::Roster> RosterOf(const QString& given)
{
    const QSettings settings;
    const QString path = given.isEmpty() ? settings.value(QStringLiteral("report/roster")).toString().trimmed() : given;
    if (path.isEmpty())
        return nullptr;
    return report::LoadRoster(path, settings.value(QStringLiteral("report/rosterMatch")).toString());
}

int RunReport(int argc, char* argv[], const CommandLine& cl)
{
    const auto roster = cl.roster.isEmpty() ? nullptr : RosterOf(cl.roster);
    if (cl.lrs.isEmpty())
        return report::Run(cl.reportInputs, cl.reportOutput, nullptr, nullptr, cl.since, roster);
    // The network's replies come through an event loop.
    QCoreApplication app(argc, argv);
    QString problem;
    const std::optional<report::StoreQuery> q = StoreOf(cl, QUrl(cl.lrs), &problem);
    if (!q) {
        std::fprintf(stderr, "porome: %s; no report written.\n", qPrintable(problem));
        return 1;
    }
    return report::Run(cl.reportInputs, cl.reportOutput, &*q, nullptr, cl.since, roster);
}

// 「ポロメ　きろく」: the report of the settings' record folder and store, of the last 30 days
// unless --since says otherwise, shown as a dropped record's.
int ShowTeacherReport(int argc, char* argv[], CommandLine cl)
{
    const QString folder = record::Folder(QString(), QSettings());
    const QUrl endpoint = StoreSettings::Read(QSettings()).endpoint;
    if (!cl.since.isValid())
        cl.since = QDateTime::currentDateTime().addDays(-30);
    if (folder.isEmpty() && endpoint.isEmpty()) {
        const char* problem = "the settings name neither a record folder nor a learning record store.";
        std::fprintf(stderr, "porome: %s\n", problem);
        return ShowProblem(argc, argv, QStringLiteral("きろくのフォルダも　LRS も、せっていに　ありません。\n(%1)")
                                           .arg(QLatin1String(problem)));
    }
    const QStringList inputs = folder.isEmpty() ? QStringList() : QStringList{folder};
    std::optional<report::StoreQuery> q;
    std::optional<QCoreApplication> app;
    QString problem;
    if (!endpoint.isEmpty()) {
        app.emplace(argc, argv);
        q = StoreOf(cl, endpoint, &problem);
        if (!q) {
            std::fprintf(stderr, "porome: %s; no report made.\n", qPrintable(problem));
            app.reset();
            return ShowProblem(argc, argv, QStringLiteral("LRS を　よむ　かぎが　つかえません。\n(%1)").arg(problem));
        }
    }
    // Into the teacher's documents, never into the record folder that pupils write into.
    const QString page = report::RunDropped(inputs, q ? &*q : nullptr, report::ReportFolder(), &problem, cl.since,
                                            RosterOf({}));
    app.reset();   // the page is shown by an application of its own
    return ShowPage(argc, argv, page, problem);
}

// --status: what IT needs to know of the record and the store, on standard output; exits
// non-zero where the menu's corner would name a problem.
int RunStatus(int argc, char* argv[], const CommandLine& cl)
{
    QCoreApplication app(argc, argv);
    const QSettings settings;
    const record::Health h = record::Gather(record::Folder(cl.recordDir, settings), StoreSettings::Read(settings),
                                            StoreSink::SpoolFolder(), Recorder::UnsentFolder());
    const QDateTime now = QDateTime::currentDateTime();
    std::fputs(record::StatusText(h, now).toLocal8Bit().constData(), stdout);
    return record::ProblemsOf(h, now).Any() ? 1 : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    SetApplicationNames();
    const CommandLine cl = ParseCommandLine(Arguments(argc, argv));
    switch (cl.mode) {
    case CommandLine::Mode::Exit:
        std::fputs(cl.message.toLocal8Bit().constData(), cl.toStderr ? stderr : stdout);
        return cl.exitCode;
    case CommandLine::Mode::Report:
        return RunReport(argc, argv, cl);
    case CommandLine::Mode::Dropped:
        return ShowDroppedReport(argc, argv, cl.reportInputs);
    case CommandLine::Mode::TeacherReport:
        return ShowTeacherReport(argc, argv, cl);
    case CommandLine::Mode::Status:
        return RunStatus(argc, argv, cl);
    case CommandLine::Mode::Window:
        break;
    }
    return RunWindow(argc, argv, cl);
}
