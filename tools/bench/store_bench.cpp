// SPDX-License-Identifier: GPL-3.0-or-later
// porome-store-bench: the learning record store's part of the benchmark (scripts/bench.sh).
// Lessons are made of rows as the recorder writes them and turned into statements by the
// program's own builder (xapi/); they go to the store through the program's own sink,
// sender and spool, or into files for loading a store and for the CSV report.
//
//   porome-store-bench lesson ENDPOINT SPOOL COUNT [--queued] [--keep]
//       One program: a lesson of COUNT answered checks (with the attempted and completed of
//       its exercises) handed to a StoreSink whose spool is SPOOL. Prints, each with the
//       milliseconds since the epoch:
//         queued N MS    (--queued) when all N statements are in the spool on disk
//         first MS       when the store has taken the first of them
//         done N MS S    when it has all N, S seconds after the first was handed over
//       With --keep it ends as soon as all are on disk, leaving them for the next start.
//   porome-store-bench drain ENDPOINT SPOOL
//       The next start of a program: sends what the spool holds and prints
//         done MS        when the store has all of it
//   porome-store-bench make OUTDIR PUPILS COUNT
//       A class's COUNT answered checks over PUPILS pupils, as statements in
//       OUTDIR/lrs/batch-NNNN.json (JSON arrays of 1000, for loading a store) and as the
//       same rows in OUTDIR/csv/porome-pcNN.csv (the record files of the same drill).
//
// Rows are timed within the last few minutes (the test store pages in order only over a
// few minutes). The store's key and secret come from POROME_BENCH_LRS_AUTH ("key:secret").
// Exit status 1 when the store did not take everything within POROME_BENCH_BOUND seconds
// (default 600).
#include "record/Csv.h"
#include "record/CsvSink.h"
#include "record/StoreSender.h"
#include "record/StoreSettings.h"
#include "record/StoreSink.h"
#include "shell/Texts.h"
#include "xapi/Statements.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QThread>

#include <cstdio>
#include <cstring>

namespace {

const QString HomePage = QStringLiteral("https://school.example.jp/");
const QString Mistakes[] = {QStringLiteral("分母どうしもたした"), QStringLiteral("分子と分母がぎゃく"),
                            QStringLiteral("帯分数になおしていない"), QStringLiteral("そのほか")};
constexpr int kChecksPerExercise = 24;

qint64 Now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

void Out(const char* format, auto... args)
{
    std::printf(format, args...);
    std::fflush(stdout);
}

// One pupil's drill: exercises of a level each, every problem right at once or after a
// mistake, each check a row as the recorder writes it, `answered` checks in all, their
// moments spread evenly over `span` from `start`.
void Drill(RecordSink& sink, const QString& computer, const QString& login, int answered, const QDateTime& start,
           qint64 spanMs, QRandomGenerator& rnd)
{
    int serial = 0, made = 0;
    const auto when = [&] { return start.addMSecs(spanMs * made / std::max(answered, 1)); };
    while (made < answered) {
        const int level = int(rnd.bounded(1, 23));
        const QString year = QString::number(level <= 10 ? 3 : 4);
        sink.ExerciseBegins(level, when());
        int k[4] = {0, 0, 0, 0};
        for (int c = 0; c < kChecksPerExercise && made < answered;) {
            const int slot = c % 3 + 1;
            ++k[slot];
            ++serial;
            const int d = int(rnd.bounded(3, 10)), a = int(rnd.bounded(1, d - 1)), b = int(rnd.bounded(1, d - a));
            const QString right = QStringLiteral("%1/%2").arg(a + b).arg(d);
            // A problem takes one try (right at once), or wrong ones first and then right
            // (△) or wrong to the third.
            const int wrongTries = rnd.generateDouble() < 0.6 ? 0 : rnd.generateDouble() < 0.7 ? 1 : 3;
            for (int t = 1; t <= std::min(wrongTries + 1, 3) && c < kChecksPerExercise && made < answered; ++t, ++c) {
                const bool wrong = t <= wrongTries;
                record::Row r;
                r.when = when();
                r.correct = {right};
                QStringList& f = r.fields;
                f.resize(record::ColumnCount);
                f[record::When] = r.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                f[record::Computer] = computer;
                f[record::Login] = login;
                f[record::Year] = year;
                f[record::LevelName] = texts::LevelNames.at(size_t(level - 1)).left(3);
                f[record::Level] = QString::number(level);
                f[record::Slot] = QString::number(slot);
                f[record::Problem] = QString::number(k[slot]);
                f[record::ProblemWords] = QStringLiteral("%1/%3 + %2/%3").arg(a).arg(b).arg(d);
                f[record::Answer] = wrong ? QStringLiteral("%1/%2").arg(a + b).arg(d + d) : right;
                f[record::Outcome] = wrong ? record::Wrong : t == 1 ? record::Right : record::RightLater;
                f[record::Try] = QString::number(t);
                f[record::Kind] = record::KindCheck;
                f[record::Serial] = QString::number(serial);
                // The kind of a mistake follows from the level, the problem and the answer,
                // as the program names it.
                if (wrong)
                    f[record::Mistake] = Mistakes[(level + a + b + d) % 4];
                sink.Add(r);
                ++made;
            }
        }
        sink.ExerciseEnds(when());
    }
}

// The statements of the rows, written as JSON arrays of `batch` into numbered files.
class StatementFiles final : public RecordSink
{
public:
    StatementFiles(const QString& folder, const QString& computer, const QString& login, int* fileNumber)
        : statements_(Settings()), folder_(folder), computer_(computer), login_(login), file_(fileNumber)
    {
    }
    ~StatementFiles() override { Flush(); }

    void ExerciseBegins(int level, const QDateTime& when) override
    {
        Put(statements_.Begin(level, when, computer_, login_));
    }
    void Add(const record::Row& row) override { Put(statements_.Add(row)); }
    void ExerciseEnds(const QDateTime& when) override
    {
        if (const auto s = statements_.End(when))
            Put(*s);
    }
    void Finish() override { Flush(); }

    static xapi::Settings Settings()
    {
        xapi::Settings s;
        s.homePage = HomePage;
        s.platform = QStringLiteral("ポロメ %1 porome-store-bench").arg(QStringLiteral(POROME_VERSION));
        return s;
    }

    int count = 0;

private:
    void Put(const QJsonObject& statement)
    {
        batch_ << statement;
        ++count;
        if (batch_.size() >= 1000)
            Flush();
    }
    void Flush()
    {
        if (batch_.isEmpty())
            return;
        QFile f(QDir(folder_).filePath(QStringLiteral("batch-%1.json").arg(++*file_, 4, 10, QChar(u'0'))));
        if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(batch_).toJson(QJsonDocument::Compact)) < 0) {
            std::fprintf(stderr, "porome-store-bench: cannot write %s\n", qPrintable(f.fileName()));
            std::exit(1);
        }
        batch_ = {};
    }

    xapi::Statements statements_;
    QString folder_, computer_, login_;
    int* file_;
    QJsonArray batch_;
};

// Counts what a sink is handed, to know how many statements a lesson makes.
class Counting final : public RecordSink
{
public:
    explicit Counting(RecordSink& next) : next_(next) {}
    void ExerciseBegins(int level, const QDateTime& when) override
    {
        ++count;
        next_.ExerciseBegins(level, when);
    }
    void Add(const record::Row& row) override
    {
        ++count;
        next_.Add(row);
    }
    void ExerciseEnds(const QDateTime& when) override
    {
        ++count;   // every exercise here judges something, so it ends with `completed`
        next_.ExerciseEnds(when);
    }
    void Finish() override {}
    int count = 0;

private:
    RecordSink& next_;
};

// This program's pupil.
QString Computer()
{
    return QStringLiteral("pc-%1").arg(QCoreApplication::applicationPid() % 1000, 3, 10, QChar(u'0'));
}

QString Login()
{
    return QStringLiteral("pupil-") + Computer();
}

std::unique_ptr<StoreSink> OpenSink(const char* endpoint, const QString& spool)
{
    StoreSettings settings;
    settings.endpoint = QUrl(QString::fromLocal8Bit(endpoint));
    if (!settings.endpoint.path().endsWith(u'/'))
        settings.endpoint.setPath(settings.endpoint.path() + u'/');
    const QByteArray auth = qgetenv("POROME_BENCH_LRS_AUTH");
    const qsizetype colon = auth.indexOf(':');
    settings.key = QString::fromUtf8(auth.left(colon));
    settings.secret = colon < 0 ? QString() : QString::fromUtf8(auth.mid(colon + 1));
    settings.homePage = HomePage;
    QString error;
    auto sink = StoreSink::Open(settings, Computer(), Login(), StatementFiles::Settings().platform, &error, spool);
    if (!sink) {
        std::fprintf(stderr, "porome-store-bench: %s\n", qPrintable(error));
        std::exit(1);
    }
    return sink;
}

// Statements in the spool's files on disk: their lines.
qint64 Spooled(const QString& folder)
{
    qint64 lines = 0;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("run-*.jsonl")}, QDir::Files)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            lines += f.readAll().count('\n');
    }
    return lines;
}

int Bound()
{
    bool ok = false;
    const int s = qEnvironmentVariableIntValue("POROME_BENCH_BOUND", &ok);
    return ok && s > 0 ? s : 600;
}

int Lesson(const char* endpoint, const QString& spool, int answered, bool queued, bool keep)
{
    auto sink = OpenSink(endpoint, spool);
    QRandomGenerator rnd(quint32(QCoreApplication::applicationPid()));
    Counting counted(*sink);
    QElapsedTimer timer;
    timer.start();
    Drill(counted, Computer(), Login(), answered, QDateTime::currentDateTime().addSecs(-120), 90'000, rnd);
    const size_t total = size_t(counted.count);
    StoreSender& sender = sink->sender();
    bool first = false;
    QElapsedTimer waited;
    waited.start();
    if (queued || keep) {
        while (Spooled(spool) < qint64(total) && waited.elapsed() < Bound() * 1000)
            QThread::msleep(5);
        Out("queued %zu %lld\n", total, Now());
        if (keep)
            return 0;   // the sink's end leaves what the store did not take in the spool
    }
    while (sender.Waiting() > 0 && waited.elapsed() < Bound() * 1000) {
        if (!first && sender.Waiting() < total) {
            first = true;
            Out("first %lld\n", Now());
        }
        QThread::msleep(1);
    }
    if (sender.Waiting() > 0 || sender.Rejected() > 0) {
        std::fprintf(stderr, "porome-store-bench: %zu statements not taken, %d refused\n", sender.Waiting(),
                     sender.Rejected());
        return 1;
    }
    if (!first)
        Out("first %lld\n", Now());
    Out("done %zu %lld %.3f\n", total, Now(), double(timer.nsecsElapsed()) / 1e9);
    return 0;
}

int Drain(const char* endpoint, const QString& spool)
{
    auto sink = OpenSink(endpoint, spool);
    // Waits for what the spool holds: what earlier runs left is read first.
    sink->sender().Finish(std::chrono::seconds(Bound()));
    if (sink->sender().Waiting() > 0)
        return 1;
    Out("done %lld\n", Now());
    return 0;
}

int Make(const QString& out, int pupils, int answered)
{
    const QString lrs = QDir(out).filePath(QStringLiteral("lrs")), csvFolder = QDir(out).filePath(QStringLiteral("csv"));
    QDir().mkpath(lrs);
    QDir().mkpath(csvFolder);
    QRandomGenerator rnd(7);
    const QDateTime start = QDateTime::currentDateTime().addSecs(-240);
    int files = 0, statements = 0;
    for (int p = 0; p < pupils; ++p) {
        const QString computer = QStringLiteral("pc-%1").arg(p + 1, 2, 10, QChar(u'0'));
        const QString login = QStringLiteral("pupil%1").arg(p + 1, 2, 10, QChar(u'0'));
        QFile csv(QDir(csvFolder).filePath(QStringLiteral("porome-%1.csv").arg(computer)));
        if (!csv.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        csv.write(QByteArray("\xEF\xBB\xBF") + csv::Row(record::Header()).toUtf8());
        CsvLinesSink lines([&csv](const QByteArray& line) { csv.write(line); });
        StatementFiles json(lrs, computer, login, &files);
        // Both sinks see the same rows.
        struct Both final : RecordSink
        {
            RecordSink &a, &b;
            Both(RecordSink& x, RecordSink& y) : a(x), b(y) {}
            void ExerciseBegins(int l, const QDateTime& w) override { a.ExerciseBegins(l, w), b.ExerciseBegins(l, w); }
            void Add(const record::Row& r) override { a.Add(r), b.Add(r); }
            void ExerciseEnds(const QDateTime& w) override { a.ExerciseEnds(w), b.ExerciseEnds(w); }
            void Finish() override { a.Finish(), b.Finish(); }
        } both(lines, json);
        const int mine = answered / pupils + (p < answered % pupils ? 1 : 0);
        Drill(both, computer, login, mine, start, 180'000, rnd);
        both.Finish();
        statements += json.count;
    }
    Out("made %d answered and %d statements in all, %d files\n", answered, statements, files);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const auto usage = [] {
        std::fprintf(stderr, "usage: porome-store-bench lesson ENDPOINT SPOOL COUNT [--queued] [--keep]\n"
                             "       porome-store-bench drain ENDPOINT SPOOL\n"
                             "       porome-store-bench make OUTDIR PUPILS COUNT\n");
        return 2;
    };
    if (argc < 4)
        return usage();
    const QString mode = QString::fromLocal8Bit(argv[1]);
    if (mode == QLatin1String("lesson") && argc >= 5) {
        bool queued = false, keep = false;
        for (int i = 5; i < argc; ++i) {
            if (!std::strcmp(argv[i], "--queued"))
                queued = true;
            else if (!std::strcmp(argv[i], "--keep"))
                keep = true;
            else
                return usage();
        }
        return Lesson(argv[2], QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]), queued, keep);
    }
    if (mode == QLatin1String("drain") && argc == 4)
        return Drain(argv[2], QString::fromLocal8Bit(argv[3]));
    if (mode == QLatin1String("make") && argc == 5 && std::atoi(argv[3]) > 0)
        return Make(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    return usage();
}
