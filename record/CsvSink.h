// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "record/Row.h"

#include <QByteArray>
#include <functional>
#include <memory>

class RecordWriter;

namespace record {
// A row as a line of the CSV file, with its line end; the answer made inert for spreadsheets.
QByteArray CsvLine(const Row& row);
} // namespace record

// Rows as CSV lines handed to a function: a test's memory, a tool's file.
class CsvLinesSink final : public RecordSink
{
public:
    explicit CsvLinesSink(std::function<void(const QByteArray&)> out) : out_(std::move(out)) {}
    void ExerciseBegins(int, const QDateTime&) override {}
    void Add(const record::Row& row) override { out_(record::CsvLine(row)); }
    void ExerciseEnds(const QDateTime&) override {}
    void Finish() override {}

private:
    std::function<void(const QByteArray&)> out_;
};

// The CSV file of the record folder, written by a RecordWriter on a thread of its own.
class CsvFileSink final : public RecordSink
{
public:
    // Creates the folder when it is missing and in it a new file named by the start of the
    // run, with its header. On failure gives nothing and says why in `error`. Rows that the
    // folder refuses until the end go to `unsentFolder`.
    static std::unique_ptr<CsvFileSink> Open(const QString& folder, const QDateTime& started, QString* error,
                                             const QString& unsentFolder);
    ~CsvFileSink() override;
    QString FileName() const;

    void ExerciseBegins(int, const QDateTime&) override {}
    void Add(const record::Row& row) override;
    void ExerciseEnds(const QDateTime&) override {}
    // Writes every row that waits, into the folder or else the unsent folder.
    void Finish() override;

private:
    explicit CsvFileSink(std::unique_ptr<RecordWriter> writer);
    std::unique_ptr<RecordWriter> writer_;
};
