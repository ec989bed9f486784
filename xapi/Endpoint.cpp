// SPDX-License-Identifier: GPL-3.0-or-later
#include "xapi/Endpoint.h"

#include <QRegularExpression>
#include <QUrl>

namespace xapi {

bool IsLoopback(const QString& host)
{
    // QUrl gives a host in lower case, an IPv4 address as four decimal numbers and an IPv6
    // one in its short form.
    static const QRegularExpression v4(QStringLiteral("^(::ffff:)?127\\.[0-9]+\\.[0-9]+\\.[0-9]+$"));
    return host == QLatin1String("localhost") || host == QLatin1String("::1") || v4.match(host).hasMatch();
}

QString CredentialProblem(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return QStringLiteral("is not an https:// address");
    if (!url.userInfo().isEmpty())
        return QStringLiteral("holds a user name or password, which go as the key and secret instead");
    if (scheme == QLatin1String("http") && !IsLoopback(url.host().toLower()))
        return QStringLiteral("is plain http:// to another computer: use https://, so that the key and secret are "
                              "not sent in the clear");
    return {};
}

} // namespace xapi
