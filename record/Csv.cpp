// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Csv.h"

namespace csv {

QString Field(const QString& text)
{
    bool quote = false;
    for (QChar c : text)
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            quote = true;
            break;
        }
    if (!quote)
        return text;
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (QChar c : text) {
        if (c == u'"')
            out += u'"';
        out += c;
    }
    out += u'"';
    return out;
}

QString Inert(const QString& typed)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!typed.isEmpty() && formulaStarts.contains(typed.front()))
        return QLatin1Char('\'') + typed;
    return typed;
}

QString Row(const QStringList& fields)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += u',';
        line += Field(fields[i]);
    }
    line += QStringLiteral("\r\n");
    return line;
}

void Parse(QStringView text, const std::function<void(const std::vector<QString>&, bool)>& row)
{
    ParseLines(text, [&](const std::vector<QString>& fields, bool broken, qsizetype) { row(fields, broken); });
}

void ParseLines(QStringView text, const std::function<void(const std::vector<QString>&, bool, qsizetype)>& row)
{
    qsizetype i = 0;
    // The line a row begins on, counted up to the row's start from the last one's.
    qsizetype line = 1, counted = 0;
    const qsizetype n = text.size();
    if (n > 0 && text[0] == QChar(0xFEFF))
        i = 1;
    std::vector<QString> fields;
    while (i < n) {
        for (; counted < i; ++counted)
            if (text[counted] == u'\n' || (text[counted] == u'\r' && (counted + 1 >= n || text[counted + 1] != u'\n')))
                ++line;
        fields.clear();
        bool broken = false;
        // One row: fields up to an unquoted line end.
        for (;;) {
            QString field;
            if (i < n && text[i] == u'"') {
                ++i;
                bool closed = false;
                while (i < n) {
                    const qsizetype q = text.indexOf(u'"', i);
                    if (q < 0) {
                        field += text.mid(i);
                        i = n;
                        break;
                    }
                    field += text.mid(i, q - i);
                    i = q + 1;
                    if (i < n && text[i] == u'"') {
                        field += u'"';
                        ++i;
                    } else {
                        closed = true;
                        break;
                    }
                }
                if (!closed)
                    broken = true;
                // Only a comma or a line end may follow the closing quote.
                while (i < n && text[i] != u',' && text[i] != u'\r' && text[i] != u'\n') {
                    broken = true;
                    ++i;
                }
            } else {
                const qsizetype start = i;
                while (i < n && text[i] != u',' && text[i] != u'\r' && text[i] != u'\n') {
                    if (text[i] == u'"')
                        broken = true;
                    ++i;
                }
                field = text.mid(start, i - start).toString();
            }
            fields.push_back(std::move(field));
            if (i < n && text[i] == u',') {
                ++i;
                continue;
            }
            break;
        }
        // The line end: CRLF, LF or a lone CR.
        if (i < n && text[i] == u'\r')
            ++i;
        if (i < n && text[i] == u'\n')
            ++i;
        if (fields.size() == 1 && fields[0].isEmpty() && !broken)
            continue;
        row(fields, broken, line);
    }
}

} // namespace csv
