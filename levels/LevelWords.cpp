// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/LevelWords.h"

#include "shell/Texts.h"

#include <vector>

namespace {

const QString kMinus = QStringLiteral(" − ");
const QString kPlus = QStringLiteral(" + ");

QString Frac(int n, int d)
{
    return QString::number(n) + u'/' + QString::number(d);
}

// Which box holds which piece of a typed answer; 0 = Text1, 1 = Text2, 2 = Text3, -1 none.
struct AnswerBoxes
{
    int whole, numerator, denominator;
};

struct LevelWords
{
    QString (*problem)(const RecordItems& r);   // r[0] is item 1
    AnswerBoxes boxes;
};

QString LengthOrWater(const RecordItems& r, const char* unit)
{
    return Frac(r[1], r[0]) + QLatin1String(unit);
}

QString Length(const RecordItems& r) { return LengthOrWater(r, " m"); }
QString Water(const RecordItems& r) { return LengthOrWater(r, " L"); }
QString Colouring(const RecordItems& r) { return Frac(r[1], r[0]) + QStringLiteral(" m をぬる"); }
QString NumberLine(const RecordItems& r) { return QStringLiteral("数直線 ") + Frac(r[1], r[0]); }
QString MakingOne(const RecordItems& r) { return QStringLiteral("？/") + QString::number(r[0]) + QStringLiteral(" = 1"); }
QString Comparison(const RecordItems& r) { return Frac(r[1], r[0]) + QStringLiteral(" ？ ") + Frac(r[2], r[0]); }
QString Sum(const RecordItems& r) { return Frac(r[1], r[0]) + kPlus + Frac(r[2], r[0]); }
QString Difference(const RecordItems& r) { return Frac(r[1], r[0]) + kMinus + Frac(r[2], r[0]); }
// Level 10 shows a first number equal to one as "1".
QString DifferenceFromOne(const RecordItems& r)
{
    return (r[1] == r[0] ? QStringLiteral("1") : Frac(r[1], r[0])) + kMinus + Frac(r[2], r[0]);
}
QString Litres(const RecordItems& r) { return MixedWords(r[2], r[1], r[0]) + QStringLiteral(" L"); }
QString NumberLineMixed(const RecordItems& r) { return QStringLiteral("数直線 ") + MixedWords(r[2], r[1], r[0]); }
QString NoNumbers(const RecordItems&) { return {}; }
QString Naming(const RecordItems& r) { return MixedWords(r[3], r[2], r[1]) + QStringLiteral(" の名前"); }
// Level 15 keeps the denominator and the improper numerator w*d + n.
QString ToImproper(const RecordItems& r)
{
    const int d = r[0] > 0 ? r[0] : 1;
    return MixedWords(r[3] / d, r[3] % d, r[0]) + QStringLiteral(" を仮分数に");
}
QString ToMixed(const RecordItems& r) { return Frac(r[2] * r[0] + r[1], r[0]) + QStringLiteral(" を帯分数に"); }
QString MixedSum(const RecordItems& r) { return MixedWords(r[3], r[1], r[0]) + kPlus + MixedWords(r[4], r[2], r[0]); }
QString BorrowingDifference(const RecordItems& r) { return QStringLiteral("1 ") + Difference(r); }
// Levels 20 and 22: the second number is the whole number w2 alone when b is 0.
QString MixedDifference(const RecordItems& r)
{
    const QString second = r[2] > 0 ? MixedWords(r[4], r[2], r[0]) : QString::number(r[4]);
    return MixedWords(r[3], r[1], r[0]) + kMinus + second;
}

constexpr AnswerBoxes kFraction{-1, 1, 0};     // Text2 over Text1
constexpr AnswerBoxes kWholeLeft{2, 1, 0};     // Text3 whole part, Text2 over Text1
constexpr AnswerBoxes kWholeFirst{0, 2, 1};    // Text1 whole part, Text3 over Text2
constexpr AnswerBoxes kOneBox{-1, -1, 0};      // Text1 alone
constexpr AnswerBoxes kNoBoxes{-1, -1, -1};

// Levels 1..22. Levels 7 and 13 say their problem themselves (their records do not hold
// all it shows), levels 5, 8, 13 and 14 their answer.
const std::array<LevelWords, 22> kWords{{
    {&Length, kFraction},            {&Water, kFraction},
    {&Length, kFraction},            {&Water, kFraction},
    {&Colouring, kNoBoxes},          {&NumberLine, kFraction},
    {&MakingOne, kOneBox},           {&Comparison, kNoBoxes},
    {&Sum, kWholeLeft},              {&DifferenceFromOne, kFraction},
    {&Litres, kWholeFirst},          {&NumberLineMixed, kWholeFirst},
    {&NoNumbers, kNoBoxes},          {&Naming, kNoBoxes},
    {&ToImproper, kFraction},        {&ToMixed, kWholeFirst},
    {&Sum, kWholeLeft},              {&MixedSum, kWholeLeft},
    {&Difference, kWholeLeft},       {&MixedDifference, kWholeLeft},
    {&BorrowingDifference, kWholeLeft}, {&MixedDifference, kWholeLeft},
}};

const QString& Box(const TypedAnswer& a, int box)
{
    return box == 0 ? a.text1 : box == 1 ? a.text2 : a.text3;
}

} // namespace

QString MixedWords(int w, int n, int d)
{
    return w != 0 ? QString::number(w) + u' ' + Frac(n, d) : Frac(n, d);
}

QString ProblemWords(int level, const RecordItems& items)
{
    if (level < 1 || level > 22)
        return {};
    return kWords[size_t(level - 1)].problem(items);
}

QString TypedAnswerWords(int level, const TypedAnswer& a)
{
    if (level < 1 || level > 22)
        return {};
    const AnswerBoxes b = kWords[size_t(level - 1)].boxes;
    if (b.numerator < 0)
        return b.denominator < 0 ? QString() : Box(a, b.denominator);
    QString words;
    if (b.whole >= 0)
        words = Box(a, b.whole);
    const QString& n = Box(a, b.numerator);
    const QString& d = Box(a, b.denominator);
    // Level 9's third box holds the whole number the fraction equals, not a whole part.
    if (level == 9 && !words.isEmpty() && !(n.isEmpty() && d.isEmpty()))
        return n + u'/' + d + QStringLiteral(" = ") + words;
    if (!n.isEmpty() || !d.isEmpty()) {
        if (!words.isEmpty())
            words += u' ';
        words += n + u'/' + d;
    }
    return words;
}

QString KindWords(int kind)
{
    switch (kind) {
    case 0: return texts::Proper;
    case 1: return texts::Improper;
    case 2: return texts::Mixed;
    default: return {};
    }
}

QString LevelRules::ProblemInWords(Exercise& ex, int s, int k)
{
    RecordItems items{};
    for (int i = 0; i < 7; ++i)
        items[size_t(i)] = ex.Rec(s, k, i + 1);
    return ProblemWords(ex.st.Level, items);
}

QString LevelRules::AnswerInWords(Exercise& ex, int, int, const TypedAnswer& answer)
{
    if (ex.st.Level == 14)
        return KindWords(int(answer.t1));
    return TypedAnswerWords(ex.st.Level, answer);
}

namespace {

// The right answer as the pupil would leave the boxes: whole part, numerator, denominator,
// each empty when it is not typed. Levels with one box take the number as "denominator".
struct RightBoxes
{
    int whole = -1, numerator = -1, denominator = -1;   // -1: the box stays empty
};

QString BoxText(int v)
{
    return v < 0 ? QString() : QString::number(v);
}

// Every form of the right answer that the level's judging takes; r[0] is item 1.
std::vector<RightBoxes> RightForms(int level, const RecordItems& r)
{
    const int d = r[0];
    switch (level) {
    case 1: case 2: case 3: case 4: case 6:
        return {{-1, r[1], d}};
    case 7:
        return {{-1, -1, d}};
    case 9:   // a sum of one is d/d with the 1 in the third box
        return {{r[3] == d ? 1 : -1, r[3], d}};
    case 10: case 15: case 19: case 21:
        return {{-1, r[3], d}};
    case 11:   // no whole litre: the whole-part box empty or 0
        if (r[2] == 0)
            return {{-1, r[1], d}, {0, r[1], d}};
        return {{r[2], r[1], d}};
    case 12: case 16:
        return {{r[2], r[1], d}};
    case 17: {
        const int sum = r[3];
        if (sum < d)
            return {{-1, sum, d}};
        if (sum == d)
            return {{1, -1, -1}};
        return {{1, sum - d, d}};
    }
    case 18: {
        const int sum = r[1] + r[2], whole = r[3] + r[4];
        if (sum < d)
            return {{whole, sum, d}};
        if (sum == d)   // the fraction boxes are not looked at; the natural form leaves them empty
            return {{whole + 1, -1, -1}};
        return {{whole + 1, sum - d, d}};
    }
    case 20: case 22: {
        const int p = r[1] - r[2], whole = r[3] - r[4];
        if (p > 0)
            return {{whole, p, d}};
        if (p == 0)
            return {{whole, -1, -1}};
        return {{whole == 1 ? -1 : whole - 1, p + d, d}};
    }
    default:
        return {};
    }
}

} // namespace

QStringList RightAnswerWords(int level, const RecordItems& items)
{
    if (level == 14)
        return {KindWords(items[0])};
    if (level < 1 || level > 22)
        return {};
    const AnswerBoxes b = kWords[size_t(level - 1)].boxes;
    QStringList words;
    for (const RightBoxes& form : RightForms(level, items)) {
        TypedAnswer a;
        QString* boxes[3] = {&a.text1, &a.text2, &a.text3};
        if (b.whole >= 0)
            *boxes[b.whole] = BoxText(form.whole);
        if (b.numerator >= 0)
            *boxes[b.numerator] = BoxText(form.numerator);
        if (b.denominator >= 0)
            *boxes[b.denominator] = BoxText(form.denominator);
        words << TypedAnswerWords(level, a);
    }
    return words;
}

QStringList LevelRules::RightAnswersInWords(Exercise& ex, int s, int k)
{
    RecordItems items{};
    for (int i = 0; i < 7; ++i)
        items[size_t(i)] = ex.Rec(s, k, i + 1);
    return RightAnswerWords(ex.st.Level, items);
}
