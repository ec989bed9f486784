// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/SharedRules.h"

#include "answer/BoxPlacement.h"

Verdict DefaultRule::Judge(Exercise& ex, int s, int k, int, const TypedAnswer& a)
{
    return a.t1 == ex.Rec(s, k, 1) && a.t2 == ex.Rec(s, k, 2) ? Verdict::Right : Verdict::Wrong;
}

Verdict DenominatorAndResultRule::Judge(Exercise& ex, int s, int k, int, const TypedAnswer& a)
{
    return a.t1 == ex.Rec(s, k, 1) && a.t2 == ex.Rec(s, k, 4) ? Verdict::Right : Verdict::Wrong;
}

void DenominatorAndResultRule::AfterCheck(Exercise& ex, int s, Verdict v)
{
    if (v == Verdict::Right) {
        ResetText3(ex, s);
    } else {
        ex.EmptyBoxes(s, true, true, false);
        ex.MakeText1Target(s, false);
    }
    if (ex.st.Level == 15)
        RedrawAnswerBar(ex, s);
}

Verdict MixedAnswerRule::Judge(Exercise& ex, int s, int k, int, const TypedAnswer& a)
{
    return a.t2 == ex.Rec(s, k, 1) && a.t3 == ex.Rec(s, k, 2) && a.t1 == ex.Rec(s, k, 3) ? Verdict::Right
                                                                                           : Verdict::Wrong;
}

void MixedAnswerRule::AfterCheck(Exercise& ex, int s, Verdict)
{
    ex.EmptyBoxes(s, true, true, true);
    RedrawAnswerBar(ex, s);
    ex.MakeText1Target(s, true);
}

void ResetText3(Exercise& ex, int s)
{
    SetBackColor(&ex.Text3(s), colours::Grey);
    ex.Text3(s).clear();
}

void RedrawAnswerBar(Exercise& ex, int s)
{
    if (const auto place = PlacementFor(ex.st.Level))
        ex.Bar(place->bar.left, Exercise::Top(s) + place->bar.top, 64);
}
