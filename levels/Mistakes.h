// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/LevelWords.h"

#include <QString>

// What kind of mistake a wrong try was, named for the teacher's report: plain functions of
// a problem's record items and the typed answer, one per family of levels, so they need no
// window. They do not judge: they name the answer as a mistake and are asked only about
// tries the level's judging did not take (a × or a hint).
namespace mistakes {
inline const QString AddedDenominators = QStringLiteral("分母どうしもたした");
inline const QString Swapped = QStringLiteral("分子と分母がぎゃく");
inline const QString CountedRest = QStringLiteral("のこりをかぞえた");
inline const QString Borrowing = QStringLiteral("くり下がりのまちがい");
inline const QString NotMixed = QStringLiteral("帯分数になおしていない");
inline const QString SubtractedDenominators = QStringLiteral("分母どうしもひいた");
inline const QString WholeNotReduced = QStringLiteral("整数から1をひいていない");
inline const QString ZeroWhole = QStringLiteral("整数部分に0を書いた");
inline const QString WholeAddedToNumerator = QStringLiteral("整数を分子にたした");
inline const QString Other = QStringLiteral("そのほか");
} // namespace mistakes

// The kind of a wrong answer to the problem of `level` whose record holds `items`. At
// level 5 the answer's t1 is the number of red cells; levels answered by buttons or by a
// click on a picture (8, 13, 14) have only mistakes::Other.
QString MistakeKind(int level, const RecordItems& items, const TypedAnswer& answer);
