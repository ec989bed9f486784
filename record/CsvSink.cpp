// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/CsvSink.h"

#include "record/Csv.h"
#include "record/RecordWriter.h"

#include <QDir>

namespace record {

QByteArray CsvLine(const Row& row)
{
    QStringList fields = row.fields;
    if (fields.size() > Answer)
        fields[Answer] = csv::Inert(fields[Answer]);
    return csv::Row(fields).toUtf8();
}

} // namespace record

std::unique_ptr<CsvFileSink> CsvFileSink::Open(const QString& folder, const QDateTime& started, QString* error,
                                               const QString& unsentFolder)
{
    if (!QDir(folder).mkpath(QStringLiteral("."))) {
        *error = QStringLiteral("cannot create the folder");
        return nullptr;
    }
    // The byte-order mark tells spreadsheets that the file is UTF-8.
    const QByteArray head = QByteArray("\xEF\xBB\xBF") + csv::Row(record::Header()).toUtf8();
    RecordWriter::Settings settings;
    settings.unsentFolder = unsentFolder;
    auto writer = std::make_unique<RecordWriter>(
        DiskFolder(folder), QStringLiteral("porome-") + started.toString(QStringLiteral("yyyyMMdd-HHmmss")), head,
        settings);
    if (!writer->OpenFirst(error))
        return nullptr;
    writer->Start();
    return std::unique_ptr<CsvFileSink>(new CsvFileSink(std::move(writer)));
}

CsvFileSink::CsvFileSink(std::unique_ptr<RecordWriter> writer) : writer_(std::move(writer)) {}

CsvFileSink::~CsvFileSink() = default;

QString CsvFileSink::FileName() const
{
    return writer_->FileName();
}

void CsvFileSink::Add(const record::Row& row)
{
    writer_->Add(record::CsvLine(row));
}

void CsvFileSink::Finish()
{
    writer_->Finish();
}
