// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/LevelRules.h"
#include "shell/Random.h"

#include <QString>
#include <array>

// The three choice boxes of the comparison levels 8 and 13, left to right. The pupil's
// choice lives only in their pixels: the chosen box is red, the others white.
enum class ChoiceBox { Greater, Equal, Less };

struct ChoiceBoxPlace
{
    int left;        // outline from (left, y0 + kChoiceBoxTop), kChoiceBoxSize square
    QString sign;    // printed inside the box and, once chosen, between the two numbers
};

constexpr int kChoiceBoxTop = 157;
constexpr int kChoiceBoxSize = 40;
// The fill and test point lies this far inside each box's top-left corner.
constexpr int kChoiceBoxInset = 2;
// Indexed by ChoiceBox.
inline const std::array<ChoiceBoxPlace, 3> kChoiceBoxes{{
    {494, QStringLiteral("＞")},
    {560, QStringLiteral("＝")},
    {626, QStringLiteral("＜")},
}};

// Compares w1 + a/d with w2 + e/d: 1 when the left number is larger, 0 when both are
// equal, -1 when the right one is larger.
int CompareOverSameDenominator(int w1, int a, int w2, int e, int d);
// The box that is right for a comparison result: 1 "＞", 0 "＝", anything else "＜".
ChoiceBox BoxFor(int comparison);

// Level 8's numbers: two fractions a/d and b/d. d is 2..9 with 9 twice as likely as each
// other value, a and b 1..d-1 each with 1 twice as likely.
struct SameDenominatorPair
{
    int d, a, b;
};
SameDenominatorPair DrawSameDenominatorPair(Random& rnd);

// Draws what both comparison levels show in slot s: the prompt, the fractions a/d with its
// bar from x 165 and b/d with its bar from x rightBarLeft, and the choice boxes with their
// signs, which presses and checks read back from the pixels.
void DrawComparison(Exercise& ex, int s, int d, int a, int b, int rightBarLeft);

// The press and judging rules both comparison levels share; a level says which box is right.
class ChoiceBoxRules : public LevelRules
{
public:
    Verdict Judge(Exercise& ex, int s, int k, int t, const TypedAnswer& answer) override;
    // A press on a box paints it red and the others white and shows its sign between
    // the numbers; any other press only refreshes the panel.
    void Press(Exercise& ex, int s, double x, double y) override;
    // The sign of the red box, or nothing when no box is chosen.
    QString AnswerInWords(Exercise& ex, int s, int k, const TypedAnswer& answer) override;
    // The sign of the box the level takes as right.
    QStringList RightAnswersInWords(Exercise& ex, int s, int k) override;

protected:
    virtual ChoiceBox RightBox(Exercise& ex, int s, int k) = 0;
};
