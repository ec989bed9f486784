// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <functional>

class QNetworkReply;
class QNetworkRequest;
class QObject;
class QUrl;

// One request to the school's store and what its answer means, for the store's sender.
namespace store {

struct Answer
{
    int status = 0;    // the HTTP status; 0 when there was none
    QString failure;   // why the request failed, when it did
    QByteArray body;   // at most the bound's bytes
};

// A request with the xAPI version, the key's header and no redirects: the key and secret
// go to the configured store only.
QNetworkRequest Request(const QUrl& url, const QByteArray& authorization);
// Bounds a request in time and in the size of its answer, then hands the answer to `then`
// on `context`'s thread and deletes the reply.
void Bound(QNetworkReply* reply, QObject* context, std::chrono::milliseconds timeout, qint64 maxAnswer,
           std::function<void(const Answer&)> then);
// The store's reason for refusing, as one short line.
QString Reason(const QByteArray& body);
// The store's statement of an id against ours (compact JSON): the same when what it is
// about, its result and its moment are; a store may add to a statement and write its
// timestamp another way.
bool SameContent(const QByteArray& json, const QJsonObject& theirs);

} // namespace store
