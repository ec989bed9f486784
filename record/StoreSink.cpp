// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/StoreSink.h"

#include "record/Spool.h"
#include "record/StoreSender.h"
#include "record/StoreSettings.h"

#include <QStandardPaths>

std::unique_ptr<StoreSink> StoreSink::Open(const StoreSettings& settings, const QString& computer,
                                           const QString& login, const QString& platform, QString* error,
                                           const QString& spoolFolder)
{
    if (const QString problem = settings.Problem(); !problem.isEmpty()) {
        *error = problem;
        return nullptr;
    }
    auto spool = std::make_unique<Spool>();
    if (!spool->Open(spoolFolder, error))
        return nullptr;
    StoreSender::Settings sending;
    sending.endpoint = settings.endpoint;
    sending.authorization = settings.Authorization();
    xapi::Settings building;
    building.activityBase = settings.activityBase;
    building.homePage = settings.homePage;
    building.platform = platform;
    building.sharedLogins = settings.sharedLogins;
    return std::make_unique<StoreSink>(std::move(building),
                                       std::make_unique<StoreSender>(std::move(sending), std::move(spool)), computer,
                                       login);
}

QString StoreSink::SpoolFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/lrs");
}

StoreSink::StoreSink(xapi::Settings settings, std::unique_ptr<StoreSender> sender, QString computer, QString login)
    : statements_(std::move(settings)), sender_(std::move(sender)), computer_(std::move(computer)),
      login_(std::move(login))
{
}

StoreSink::~StoreSink() = default;

void StoreSink::ExerciseBegins(int level, const QDateTime& when)
{
    sender_->Add(statements_.Begin(level, when, computer_, login_));
}

void StoreSink::Add(const record::Row& row)
{
    sender_->Add(statements_.Add(row));
}

void StoreSink::ExerciseEnds(const QDateTime& when)
{
    if (const std::optional<QJsonObject> completed = statements_.End(when))
        sender_->Add(*completed);
}

void StoreSink::Finish()
{
    ExerciseEnds(QDateTime::currentDateTime());
    sender_->Finish(patience);
}
