// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/PageRecord.h"

#include "record/Csv.h"
#include "record/CsvSink.h"

namespace page {

StatementSink::StatementSink(xapi::Settings settings, Queue& queue, QString computer, QString login)
    : statements_(std::move(settings)), queue_(queue), computer_(std::move(computer)), login_(std::move(login))
{
}

void StatementSink::ExerciseBegins(int level, const QDateTime& when)
{
    queue_.Keep(statements_.Begin(level, when, computer_, login_));
}

void StatementSink::Add(const record::Row& row)
{
    const QJsonObject statement = statements_.Add(row);
    if (!statement.isEmpty())
        queue_.Keep(statement);
}

void StatementSink::ExerciseEnds(const QDateTime& when)
{
    if (const std::optional<QJsonObject> statement = statements_.End(when))
        queue_.Keep(*statement);
}

void FileSink::Add(const record::Row& row)
{
    queue_.KeepRow(QString::fromUtf8(record::CsvLine(row)));
}

QString LoginOf(const Launch& launch)
{
    return launch.actor.value(QStringLiteral("account")).toObject().value(QStringLiteral("name")).toString();
}

xapi::Settings SettingsOf(const Launch& launch, const QString& platform)
{
    xapi::Settings s;
    s.activityBase = launch.activityBase;
    s.homePage = launch.homePage;
    s.platform = platform;
    s.registration = launch.registration;
    s.actor = launch.actor;
    return s;
}

std::unique_ptr<RecordSink> OpenRecord(const Launch& launch, Queue& queue, const QString& platform)
{
    for (const QString& line : launch.problems)
        queue.Say(line);
    if (launch.record == Record::None)
        return nullptr;
    queue.Open(launch, csv::Row(record::Header()));
    if (launch.record == Record::Download)
        return std::make_unique<FileSink>(queue);
    return std::make_unique<StatementSink>(SettingsOf(launch, platform), queue, QString(), LoginOf(launch));
}

} // namespace page
