// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/WindowScale.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace windowscale {

std::optional<Request> Parse(const QString& text, QString* error)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return Request{};
    if (t.compare(QStringLiteral("fit"), Qt::CaseInsensitive) == 0)
        return Request{Request::Kind::Fit, 1.0};
    bool ok = false;
    const double f = QLocale::c().toDouble(t, &ok);
    // std::isfinite also turns away "nan" and "inf", which toDouble accepts.
    if (ok && std::isfinite(f) && f >= kMinFactor && f <= kMaxFactor)
        return Request{Request::Kind::Factor, f};
    if (error)
        *error = QStringLiteral("'%1' is neither 'fit' nor a factor from %2 to %3.")
                     .arg(text)
                     .arg(kMinFactor)
                     .arg(kMaxFactor);
    return std::nullopt;
}

QSize ClientSize(int screenWidth)
{
    return screenWidth >= 1000 ? QSize(1017, 749) : QSize(800, 574);
}

double FitFactor(QSize client, QMargins frame, QSize available)
{
    const double w = double(available.width() - frame.left() - frame.right()) / client.width();
    const double h = double(available.height() - frame.top() - frame.bottom()) / client.height();
    const double f = std::floor(std::min(w, h) * 1000.0) / 1000.0;
    return std::clamp(f, kMinFactor, kMaxFactor);
}

double Choose(const Request& request, QSize client, QMargins frame, QSize available)
{
    const double fit = FitFactor(client, frame, available);
    switch (request.kind) {
    case Request::Kind::Fit:
        return fit;
    case Request::Kind::Factor:
        return std::min(request.factor, fit);
    case Request::Kind::Default:
        break;
    }
    return std::min(1.0, fit);
}

double FullScreenFactor(QSize client, QSize screen)
{
    return FitFactor(client, QMargins(), screen);
}

QSize ScaledSize(QSize client, double factor)
{
    return QSize(int(std::lround(client.width() * factor)), int(std::lround(client.height() * factor)));
}

} // namespace windowscale
