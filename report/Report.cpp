// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/Report.h"
#include "xapi/Statements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

namespace report {

namespace {

// Read from a store with the activity base every school has unless it names its own: other
// schools' statements that name the same homePage cannot be told from the school's own.
QString SharedBaseWarning(const StoreQuery* store)
{
    if (!store)
        return {};
    QString base = store->activityBase;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (!base.isEmpty() && base != xapi::DefaultActivityBase())
        return {};
    return QStringLiteral("この　レポートは　どの　学校でも　おなじ　activityBase で　よんだので、おなじ　homePage を　"
                          "つかう　ほかの　学校の　きろくが　まざる　ことが　あります。"
                          "（学校ごとの　activityBase を　せっていに　かいて　ください。）");
}

} // namespace

int Run(const QStringList& inputs, const QString& output, const StoreQuery* store, QString* problem, const QDateTime& since,
        std::shared_ptr<const Roster> roster)
{
    Summary s;
    QString error, storeError;
    bool written = false;
    RunSource more;
    if (store)
        more = [&](SummaryBuilder& b) {
            if (!ReadStore(*store, b, &storeError) && storeError.isEmpty())
                storeError = QStringLiteral("the store could not be read");
        };
    if (output.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)) {
        written = WriteWorkbook(inputs, output, &s, &error, more, since, roster);
        if (!storeError.isEmpty())
            QFile::remove(output);
    } else {
        s = Summarize(inputs, {}, more, since, roster);
    }
    if (!storeError.isEmpty()) {
        std::fprintf(stderr, "porome: %s; no report written.\n", qPrintable(storeError));
        if (problem)
            *problem = storeError;
        return 1;
    }
    if (!output.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)) {
        QFile out(output);
        const QByteArray page = Html(s, QStringLiteral("ポロメ 学習の記録 (learning record)"), SharedBaseWarning(store)).toUtf8();
        written = out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(page) == page.size() && out.flush();
        if (!written)
            error = out.errorString();
    }
    for (const QString& u : s.unreadable)
        std::fprintf(stderr, "porome: cannot read %s\n", qPrintable(u));
    if (!written) {
        std::fprintf(stderr, "porome: cannot write %s: %s\n", qPrintable(output), qPrintable(error));
        if (problem)
            *problem = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(output), error);
        return 1;
    }
    if (store)
        std::printf("porome: %d rows from %d files and the store, %d skipped; report written to %s\n", s.rows, s.files,
                    s.skipped, qPrintable(output));
    else
        std::printf("porome: %d rows from %d files, %d skipped; report written to %s\n", s.rows, s.files, s.skipped,
                    qPrintable(output));
    return s.files == 0 && !store ? 1 : 0;
}

QString ReportFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString RunDropped(const QStringList& inputs, const StoreQuery* store, const QString& where, QString* problem,
                   const QDateTime& since, std::shared_ptr<const Roster> roster)
{
    const QString folder = where.isEmpty() ? ReportFolder() : where;
    QDir().mkpath(folder);
    const QString page = QDir(folder).filePath(QStringLiteral("porome-report.html"));
    QFile::remove(page);
    // A page without records still says so, and is shown.
    Run(inputs, page, store, problem, since, roster);
    if (!QFile::exists(page))
        return {};
    const QString workbook = QDir(folder).filePath(QStringLiteral("porome-report.xlsx"));
    Run(inputs, workbook, store, nullptr, since, roster);
    // The pupils' names and answers: for the teacher alone, also in a shared documents folder.
    for (const QString& made : {page, workbook})
        QFile::setPermissions(made, QFile::ReadOwner | QFile::WriteOwner);
    return page;
}

} // namespace report
