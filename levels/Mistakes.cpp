// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/Mistakes.h"

namespace {

using namespace mistakes;

// Which box holds what, as the level's judging reads them.
struct Typed
{
    double whole, numerator, denominator;
    bool wholeTyped;
};

Typed WholeLeft(const TypedAnswer& a) { return {a.t3, a.t2, a.t1, !a.text3.isEmpty()}; }    // Text3, Text2 / Text1
Typed WholeFirst(const TypedAnswer& a) { return {a.t1, a.t3, a.t2, !a.text1.isEmpty()}; }   // Text1, Text3 / Text2

bool Is(const Typed& x, double n, double d) { return x.numerator == n && x.denominator == d; }
// The whole part as judged: an empty box reads as 0.
bool WholeIs(const Typed& x, int w) { return x.whole == w; }

// Levels 1 to 4 and 6: n/d read from a bar, a cup or a number line; `picture` when the
// part not coloured can be counted instead.
QString Reading(const RecordItems& r, const TypedAnswer& a, bool picture)
{
    const int d = r[0], n = r[1];
    const Typed x = WholeLeft(a);
    if (Is(x, d, n))
        return Swapped;
    if (picture && Is(x, d - n, d))
        return CountedRest;
    return Other;
}

// Level 5: n of d cells to colour, `red` coloured.
QString Colouring(const RecordItems& r, int red)
{
    return red == r[0] - r[1] ? CountedRest : Other;
}

// Levels 11, 12 and 16: w n/d in mixed boxes; at level 11 a cup shows the fraction part.
QString MixedReading(const RecordItems& r, const TypedAnswer& a, bool cup)
{
    const int d = r[0], n = r[1], w = r[2];
    const Typed x = WholeFirst(a);
    if (WholeIs(x, w) && Is(x, d, n))
        return Swapped;
    if (cup && WholeIs(x, w) && Is(x, d - n, d))
        return CountedRest;
    if (w > 0 && WholeIs(x, 0) && Is(x, w * d + n, d))
        return NotMixed;
    return Other;
}

// Levels 9, 17 and 18: w1 a/d + w2 b/d (whole parts 0 at levels 9 and 17), asked as a
// proper fraction, a whole number or a mixed number.
QString Sum(int d, int a, int b, int w1, int w2, const TypedAnswer& t)
{
    const Typed x = WholeLeft(t);
    const int sum = a + b, whole = w1 + w2;
    if (Is(x, sum, 2 * d))
        return AddedDenominators;
    if (sum >= d && WholeIs(x, whole) && Is(x, sum, d))
        return NotMixed;
    if (WholeIs(x, whole) && Is(x, d, sum))
        return Swapped;
    return Other;
}

// Levels 10, 19 and 21: a/d − b/d (at level 21, 1 a/d − b/d with a < b): the answer `result`/d.
QString Difference(int d, int a, int b, int result, bool borrow, const TypedAnswer& t)
{
    const Typed x = WholeLeft(t);
    if (!t.text1.isEmpty() && x.denominator == 0 && x.numerator == result)
        return SubtractedDenominators;
    if (borrow && x.denominator == d && x.numerator == b - a && (x.whole == 1 || !x.wholeTyped))
        return Borrowing;
    if (!x.wholeTyped && Is(x, d, result))
        return Swapped;
    return Other;
}

// Levels 20 and 22: w1 a/d − w2 b/d; with a < b one whole is broken up.
QString MixedDifference(const RecordItems& r, const TypedAnswer& t)
{
    const int d = r[0], a = r[1], b = r[2], whole = r[3] - r[4];
    const Typed x = WholeLeft(t);
    if (!t.text1.isEmpty() && x.denominator == 0 && x.numerator == a - b)
        return SubtractedDenominators;
    if (a < b) {
        if (whole == 1 && t.text3 == QStringLiteral("0"))
            return ZeroWhole;
        if (WholeIs(x, whole) && Is(x, b - a, d))
            return Borrowing;
        if (WholeIs(x, whole) && Is(x, a - b + d, d))
            return WholeNotReduced;
        return Other;
    }
    if (a > b && WholeIs(x, whole) && Is(x, d, a - b))
        return Swapped;
    return Other;
}

// Level 15: w n/d as an improper fraction; the record keeps d and w*d + n.
QString ToImproper(const RecordItems& r, const TypedAnswer& t)
{
    const int d = r[0] > 0 ? r[0] : 1, improper = r[3], w = improper / d, n = improper % d;
    const Typed x = WholeLeft(t);
    if (Is(x, d, improper))
        return Swapped;
    if (Is(x, w + n, d))
        return WholeAddedToNumerator;
    return Other;
}

} // namespace

QString MistakeKind(int level, const RecordItems& r, const TypedAnswer& a)
{
    switch (level) {
    case 1: case 2: case 3: case 4: return Reading(r, a, true);
    case 6: return Reading(r, a, false);
    case 5: return Colouring(r, int(a.t1));
    case 9: return Sum(r[0], r[1], r[2], 0, 0, a);
    case 10: case 19: return Difference(r[0], r[1], r[2], r[3], false, a);
    case 11: return MixedReading(r, a, true);
    case 12: case 16: return MixedReading(r, a, false);
    case 15: return ToImproper(r, a);
    case 17: return Sum(r[0], r[1], r[2], 0, 0, a);
    case 18: return Sum(r[0], r[1], r[2], r[3], r[4], a);
    case 20: case 22: return MixedDifference(r, a);
    case 21: return Difference(r[0], r[1], r[2], r[3], true, a);
    default: return Other;
    }
}

QString LevelRules::MistakeInWords(Exercise& ex, int s, int k, const TypedAnswer& answer)
{
    RecordItems items{};
    for (int i = 0; i < 7; ++i)
        items[size_t(i)] = ex.Rec(s, k, i + 1);
    return MistakeKind(ex.st.Level, items, answer);
}
