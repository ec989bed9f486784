// SPDX-License-Identifier: GPL-3.0-or-later
#include "answer/Val.h"

#include <cmath>
#include <string>

double Val(const QString& text)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r'))
        ++i;
    std::string number;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        number += char(text[i++].unicode());
    bool digits = false, point = false;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') {
            digits = true;
            number += char(c);
        } else if (c >= u'０' && c <= u'９') {
            // Full-width digits, as the Japanese input method types them.
            digits = true;
            number += char('0' + (c - u'０'));
        } else if (c == u'.' && !point) {
            point = true;
            number += '.';
        } else {
            break;
        }
    }
    if (!digits)
        return 0.0;
    const double v = std::strtod(number.c_str(), nullptr);
    return std::isfinite(v) ? v : 0.0;
}
