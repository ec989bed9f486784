// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "report/Summary.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QUrl>

// The class's rows read back from the school's learning record store: the program's
// `answered` and `viewed` statements of every level, page by page, of the school's own pupils
// (their accounts' homePage) under its activity base.
namespace report {

struct StoreQuery
{
    QUrl endpoint;              // the store's xAPI base, e.g. https://lrs.example/xAPI/
    QString key, secret;        // HTTP Basic; never printed
    QString homePage;           // the school's IRI: only statements of accounts there count
    QString activityBase;       // empty: the program's own, which every school may use
    QDateTime since;            // invalid: everything
    int maxPages = 20000;       // over every level and verb
    qint64 maxBody = 32 << 20;  // bytes of one page
    int timeoutMs = 30000;      // one request
    // Non-empty: only the statements of this grouping activity (a portal's class), in one
    // query over every level and verb, newest first.
    QString grouping;
    // A login's name as the portal tells it, shown in its rows instead of the login.
    QHash<QString, QString> names;
};

// Feeds the rows into `builder`, one run per exercise (the statements' grouping activity).
// False with one line in `error` (never the credentials) when the store cannot be read to
// the end: then the rows given so far are not the whole class.
bool ReadStore(const StoreQuery& query, SummaryBuilder& builder, QString* error);

} // namespace report
