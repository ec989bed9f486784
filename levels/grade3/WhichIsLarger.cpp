// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade3/WhichIsLarger.h"

#include "levels/LevelTable.h"

#include <algorithm>

namespace {

const QString kPrompt = QStringLiteral("どちらが、大きいですか？");
// A fraction's digits stand this far right of its bar's left end.
constexpr int kDigitsIndent = 15;
constexpr int kLeftBarLeft = 165, kBarTop = 220, kBarWidth = 45;
// The signs stand at this place so that each falls inside its own box.
const QString kSignRow = QStringLiteral("＞　＝　＜");
constexpr int kSignRowLeft = 500, kSignRowTop = 160;
// The square between the two numbers that shows the chosen sign.
constexpr int kGapLeft = 250, kGapTop = 200, kGapSize = 40, kGapSignTop = 202;

QPointF FillPoint(const ChoiceBoxPlace& b, int top)
{
    return {double(b.left + kChoiceBoxInset), double(top + kChoiceBoxTop + kChoiceBoxInset)};
}

void PrintSigns(Exercise& ex, int top)
{
    ex.Pic().ForeColor = colours::Black;
    ex.PrintAt(kSignRowLeft, top + kSignRowTop, kSignRow);
}

class WhichIsLargerRules final : public ChoiceBoxRules
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        const auto [d, a, b] = DrawSameDenominatorPair(ex.rnd);
        ex.Rec(s, k, 1) = d;
        ex.Rec(s, k, 2) = a;
        ex.Rec(s, k, 3) = b;
        ex.Rec(s, k, 4) = 0;
        DrawComparison(ex, s, d, a, b, 315);
    }

protected:
    ChoiceBox RightBox(Exercise& ex, int s, int k) override
    {
        return BoxFor(CompareOverSameDenominator(0, ex.Rec(s, k, 2), 0, ex.Rec(s, k, 3), ex.Rec(s, k, 1)));
    }
};

} // namespace

int CompareOverSameDenominator(int w1, int a, int w2, int e, int d)
{
    // Over one denominator the numbers compare as w*d + numerator, without rounding.
    const long left = long(w1) * d + a, right = long(w2) * d + e;
    return left > right ? 1 : left == right ? 0 : -1;
}

ChoiceBox BoxFor(int comparison)
{
    return comparison == 1 ? ChoiceBox::Greater : comparison == 0 ? ChoiceBox::Equal : ChoiceBox::Less;
}

SameDenominatorPair DrawSameDenominatorPair(Random& rnd)
{
    const int d = std::min(int(rnd.Rnd() * 9) + 2, 9);
    const int a = std::max(int(rnd.Rnd() * d), 1);
    const int b = std::max(int(rnd.Rnd() * d), 1);
    return {d, a, b};
}

void DrawComparison(Exercise& ex, int s, int d, int a, int b, int rightBarLeft)
{
    const int top = Exercise::Top(s);
    ex.Pic().FillStyle = 1;   // the box outlines leave the signs inside them
    ex.st.PromptText = kPrompt;
    ex.Pic().ForeColor = colours::Black;
    ex.PrintAt(80, top + 120, ex.st.PromptText);
    for (const auto& [barLeft, numerator] : {std::pair{kLeftBarLeft, a}, std::pair{rightBarLeft, b}}) {
        ex.PrintAt(barLeft + kDigitsIndent, top + 180, numerator);
        ex.Bar(barLeft, top + kBarTop, kBarWidth);
        ex.PrintAt(barLeft + kDigitsIndent, top + 230, d);
    }
    PrintSigns(ex, top);
    for (const ChoiceBoxPlace& place : kChoiceBoxes)
        ex.Pic().Box(place.left, top + kChoiceBoxTop, kChoiceBoxSize, kChoiceBoxSize, colours::Black);
}

Verdict ChoiceBoxRules::Judge(Exercise& ex, int s, int k, int, const TypedAnswer&)
{
    const QPointF at = FillPoint(kChoiceBoxes.at(size_t(RightBox(ex, s, k))), Exercise::Top(s));
    return ex.Pic().Point(at.x(), at.y()) == colours::Red ? Verdict::Right : Verdict::Wrong;
}

QString ChoiceBoxRules::AnswerInWords(Exercise& ex, int s, int, const TypedAnswer&)
{
    for (const ChoiceBoxPlace& b : kChoiceBoxes) {
        const QPointF at = FillPoint(b, Exercise::Top(s));
        if (ex.Pic().Point(at.x(), at.y()) == colours::Red)
            return b.sign;
    }
    return {};
}

QStringList ChoiceBoxRules::RightAnswersInWords(Exercise& ex, int s, int k)
{
    return {kChoiceBoxes.at(size_t(RightBox(ex, s, k))).sign};
}

void ChoiceBoxRules::Press(Exercise& ex, int s, double x, double y)
{
    const int top = Exercise::Top(s);
    Surface& p = ex.Pic();
    const auto hit = [&](const ChoiceBoxPlace& b) {
        return x > b.left && x < b.left + kChoiceBoxSize && y > top + kChoiceBoxTop
               && y < top + kChoiceBoxTop + kChoiceBoxSize;
    };
    const auto chosen = std::find_if(kChoiceBoxes.begin(), kChoiceBoxes.end(), hit);
    if (chosen != kChoiceBoxes.end()) {
        p.FillStyle = 0;
        p.FilledBox(kGapLeft, top + kGapTop, kGapSize, kGapSize, colours::White);
        p.ForeColor = colours::Black;
        ex.PrintAt(kGapLeft, top + kGapSignTop, chosen->sign);
        const auto fill = [&](const ChoiceBoxPlace& b, QRgb colour) {
            p.FillColor = colour;
            const QPointF at = FillPoint(b, top);
            p.FloodFill(at.x(), at.y(), colours::Black);
        };
        fill(*chosen, colours::Red);
        for (const ChoiceBoxPlace& b : kChoiceBoxes)
            if (&b != &*chosen)
                fill(b, colours::White);
        // The fills swallowed the signs' soft edges, which are not black; printed again,
        // the signs blend into their new background instead of breaking up.
        PrintSigns(ex, top);
    }
    p.Refresh();
}

LevelRules& Level8Rules() { static WhichIsLargerRules rules; return rules; }
