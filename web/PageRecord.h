// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "record/Row.h"
#include "web/Launch.h"
#include "xapi/Statements.h"

#include <QJsonObject>
#include <QString>
#include <memory>

// The page's learning record: the recorder's rows become statements for the store, or rows
// of a record file the pupil saves, and go to the page's JavaScript, which keeps them in the
// browser (IndexedDB) and sends or saves them. The drill never waits on any of it.
namespace page {

// What the page's JavaScript does with the record: the one seam between the program and the
// browser, so that everything on this side runs without one.
class Queue
{
public:
    virtual ~Queue() = default;
    // Starts keeping, and for a store sending, what the launch asks for; `header` is the
    // record file's header row.
    virtual void Open(const Launch& launch, const QString& header) = 0;
    // A statement, kept before it is sent.
    virtual void Keep(const QJsonObject& statement) = 0;
    // A row of the record file as the file holds it, with its line end.
    virtual void KeepRow(const QString& line) = 0;
    // Statements the store has not yet taken, and rows not yet saved.
    virtual int Waiting() = 0;
    virtual int Unsaved() = 0;
    // Saves every row not yet saved as a record file.
    virtual void Save() = 0;
    // One line on the page's console.
    virtual void Say(const QString& line) = 0;
};

// The rows as statements.
class StatementSink final : public RecordSink
{
public:
    StatementSink(xapi::Settings settings, Queue& queue, QString computer, QString login);
    void ExerciseBegins(int level, const QDateTime& when) override;
    void Add(const record::Row& row) override;
    void ExerciseEnds(const QDateTime& when) override;
    void Finish() override {}

private:
    xapi::Statements statements_;
    Queue& queue_;
    QString computer_, login_;
};

// The rows as lines of the record file: the desktop's columns and quoting.
class FileSink final : public RecordSink
{
public:
    explicit FileSink(Queue& queue) : queue_(queue) {}
    void ExerciseBegins(int, const QDateTime&) override {}
    void Add(const record::Row& row) override;
    void ExerciseEnds(const QDateTime&) override {}
    void Finish() override {}

private:
    Queue& queue_;
};

// The login the rows carry: the name of the launch's account, or none.
QString LoginOf(const Launch& launch);
// The statements' settings of a launch; `platform` names the program and the page.
xapi::Settings SettingsOf(const Launch& launch, const QString& platform);

// Opens the queue for the launch and gives the sink its rows go to; none where the launch
// keeps nothing. Every problem of the launch is said on the console first.
std::unique_ptr<RecordSink> OpenRecord(const Launch& launch, Queue& queue, const QString& platform);

} // namespace page
