// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/History.h"
#include "levels/LevelRules.h"

#include <QString>
#include <optional>
#include <vector>

// Levels 17 to 22 show a sum or difference of fractions with one denominator and take the
// answer in three boxes around an answer bar: Text1 the denominator (below), Text2 the
// numerator (above) and, where a whole part is asked, Text3 left of the bar. The pieces
// below are shared by the addition levels (17, 18) and the subtraction levels (19 to 22).

namespace hints {
inline const QString SameNumbers = QStringLiteral("分母と分子が同じ数のときは？");
inline const QString ImproperSum = QStringLiteral("答えが仮分数の場合は帯分数になおして！");
inline const QString NumeratorTooLarge = QStringLiteral("分母より分子が大きい場合は帯分数になおして！");
inline const QString Borrow = QStringLiteral("１かりませんでしたか");
inline const QString ZeroWhole = QStringLiteral("整数部分に０を書くんですか");
} // namespace hints

// The numbers of one problem as its record keeps them (items 10k+1..10k+5): the
// denominator, the two numerators and two level-specific items (a sum or difference of
// the numerators, or the two whole parts).
struct FractionRecord
{
    int d = 0, a = 0, b = 0, item4 = 0, item5 = 0;
    bool SameFractions(const FractionRecord& o) const { return d == o.d && a == o.a && b == o.b; }
    bool operator==(const FractionRecord&) const = default;
};

// What the no-repeat and similarity rules see of a slot: the problems of the current round
// of its history (HistoryStart) and the problem just before the new one.
struct SlotPast
{
    std::vector<FractionRecord> earlier;
    std::optional<FractionRecord> previous;
    // An earlier problem of the round has the same denominator and numerators.
    bool Used(const FractionRecord& r) const;
};

// The past of a slot whose problems 1..k-1 are `records` (oldest first).
SlotPast PastOf(const std::vector<FractionRecord>& records, int distinctProblems);
// The past of problem k of slot s, read from the slot's table.
SlotPast ReadPast(Exercise& ex, int s, int k, int distinctProblems);
FractionRecord ReadRecord(Exercise& ex, int s, int k);
// Writes items 10k+1..10k+items of the record.
void WriteRecord(Exercise& ex, int s, int k, const FractionRecord& r, int items);

// When kMaxRejectedDraws draws in a row were turned down, one of the level's problems that
// still fits, picked at random; nothing when none fits.
template <class Fits>
std::optional<FractionRecord> PickRemaining(Random& rnd, const std::vector<FractionRecord>& all, Fits fits)
{
    std::vector<FractionRecord> left;
    for (const FractionRecord& r : all)
        if (fits(r))
            left.push_back(r);
    if (left.empty())
        return std::nullopt;
    return left[size_t(rnd.Rnd() * double(left.size()))];
}

// Denominator 2..9 drawn as Int(Rnd*9 + 2) and clamped, so 9 comes twice as often.
int DrawDenominatorUpTo9(Random& rnd);
// Numerator Int(Rnd*9) clamped into 1..d-1.
int DrawSmallNumerator(Random& rnd, int d);

// A judgement and the message the pupil reads before its marking steps: a hint (with
// Verdict::Hint) or a notice that comes before the × of a wrong answer.
struct Judgement
{
    Verdict verdict;
    QString message;
};

// Level 17: the record holds d, a, b and the numerator sum a+b; level 18: d, a, b and the
// whole parts w1, w2.
FractionRecord DrawProperSum(Random& rnd, const SlotPast& past);
FractionRecord DrawMixedSum(Random& rnd, const SlotPast& past);
// Every (d, a, b) of the two addition levels, item4 = a+b.
const std::vector<FractionRecord>& AllAdditions();
Judgement JudgeProperSum(const FractionRecord& r, const TypedAnswer& answer);
Judgement JudgeMixedSum(const FractionRecord& r, const TypedAnswer& answer);

// The judging and box handling of levels 17 to 22. A message is shown before the verdict
// goes on; after a right answer Text3 is emptied and greyed (the next problem emptied the
// other two), after a wrong one all three boxes are emptied and Text1 takes the keypad.
class FractionAnswerRules : public LevelRules
{
public:
    Verdict Judge(Exercise& ex, int s, int k, int t, const TypedAnswer& answer) final;
    void AfterCheck(Exercise& ex, int s, Verdict v) final;

protected:
    virtual Judgement JudgeRecord(const FractionRecord& r, const TypedAnswer& answer) const = 0;
};
