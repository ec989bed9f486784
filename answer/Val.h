// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// Reads the leading number of a typed text: leading blanks are skipped, then an optional
// sign, digits (full-width "０".."９" too) and a decimal part up to the first character that cannot continue the
// number. An empty or non-numeric text reads 0. Any text, however long, gives a finite
// value or 0; nothing overflows.
double Val(const QString& text);
