// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// Comma-separated values as RFC 4180 writes them, which LibreOffice and Excel read:
// a field that holds a comma, a double quote, CR or LF is put in double quotes with its
// quotes doubled; rows end with CRLF.
namespace csv {

QString Field(const QString& text);
QString Row(const QStringList& fields);

// A text a pupil typed, made safe to open in a spreadsheet: one that begins like a formula
// (=, +, -, @, tab, CR) gets a leading apostrophe, so it is shown as text and never run.
QString Inert(const QString& typed);

// Reads text row by row and hands each to `row` with its fields. A row is broken when a
// quote stands inside an unquoted field, text follows a closing quote, or a quoted field
// runs to the end of the text; its fields are then of no use. Empty lines give no row.
// A byte-order mark at the start is skipped.
void Parse(QStringView text, const std::function<void(const std::vector<QString>& fields, bool broken)>& row);
// The same, with the number of the line (from 1) each row begins on.
void ParseLines(QStringView text,
                const std::function<void(const std::vector<QString>& fields, bool broken, qsizetype line)>& row);

} // namespace csv
