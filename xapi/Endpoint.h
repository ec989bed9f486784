// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

class QUrl;

// Where a store's credentials may go: the desktop's sender and report and the page all keep
// the same rule. Plain data: no network.
namespace xapi {

// True for a host that is this computer: localhost, 127.0.0.0/8, ::1 (as QUrl writes them).
bool IsLoopback(const QString& host);

// Empty when a key and secret, or a launch's auth, may be sent to `url`: https://, or plain
// http:// to this computer only, and no user name or password in the address. Else why not,
// to follow the address in a sentence ("… is plain http:// to another computer: …").
QString CredentialProblem(const QUrl& url);

} // namespace xapi
