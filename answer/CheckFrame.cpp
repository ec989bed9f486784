// SPDX-License-Identifier: GPL-3.0-or-later
#include "answer/CheckObserver.h"
#include "answer/Val.h"
#include "levels/LevelTable.h"
#include "shell/Form1.h"
#include "shell/Texts.h"

void Form1::Command5_Click(int16_t Index)
{
    if (Index < 0 || Index > 5 || st.Level < 1 || st.Level > 22)
        return;
    // Panel 0's buttons are slots 1..3; panel 1's run bottom-up.
    const int s = Index <= 2 ? Index + 1 : 6 - Index;
    if (st.Level == 14 || st.Item(s, 0) == 0)
        return;   // no check button on that level; an idle slot has nothing to judge
    st.CurrentSlot = int16_t(s);
    const int top = (s - 1) * 220;

    TypedAnswer answer;
    if (st.PanelIndex == 0) {
        if (Text1[s - 1]->text().isEmpty() && InfoFor(st.Level).requiresTypedAnswer) {
            platform.MsgBox(texts::TypeAnswer);
            return;
        }
        st.ActiveField[s] = 0;
        answer.text1 = Text1[s - 1]->text();
        answer.text2 = Text2[s - 1]->text();
        answer.text3 = Text3[s - 1]->text();
        answer.t1 = Val(answer.text1);
        answer.t2 = Val(answer.text2);
        answer.t3 = Val(answer.text3);
    }

    const int k = st.Item(s, 1);
    const int t = ++st.Item(s, k * 10 + 10);
    Surface& panel = *Picture1[st.PanelIndex];
    panel.CurrentX = 40;
    panel.CurrentY = top + 180;
    panel.ForeColor = colours::Red;

    if (recorder)
        recorder->CheckBegins(s, k, t, answer, false);
    const Verdict v = RulesFor(st.Level).Judge(exercise_, s, k, t, answer);
    if (recorder)
        recorder->CheckEnds(v);
    if (v == Verdict::Hint) {
        // The check made Text1 the keypad target; after a hint the colours must say so too.
        if (st.PanelIndex == 0) {
            exercise_.MakeText1Target(s, true);
            focusReceivingBox(s);
        }
        return;
    }
    concludeCheck(s, k, t, v);
}

void Form1::concludeCheck(int s, int k, int t, Verdict v)
{
    const int top = (s - 1) * 220;
    Surface& panel = *Picture1[st.PanelIndex];
    panel.CurrentX = 40;
    panel.CurrentY = top + 180;
    panel.ForeColor = colours::Red;
    panel.Print(v == Verdict::Right ? texts::Right : texts::Wrong);
    showMark(top);

    st.CurrentSlot = int16_t(s);
    if (v == Verdict::Right) {
        st.Item(s, k * 10 + 8) = t == 1 ? 1 : 2;
        NewProblem();
    } else if (t >= 3) {
        st.Item(s, k * 10 + 8) = 3;
        NewProblem();
    }
    // Panel 1 has no answer boxes to reset.
    if (st.PanelIndex == 0) {
        RulesFor(st.Level).AfterCheck(exercise_, s, v);
        focusReceivingBox(s);
    }
}

void Form1::showMark(int top)
{
    Surface& panel = *Picture1[st.PanelIndex];
    panel.Refresh();
    platform.Beep();
    platform.WaitForNextSecond();
    platform.WaitForNextSecond();
    panel.FilledBox(40, top + 180, kMarkEraseSize, kMarkEraseSize, colours::White);
}

// The kind buttons of level 14 answer at once, with the marking steps of the check.
void Form1::answerKind(int16_t Index, int kind)
{
    if (Index < 0 || Index > 2 || st.Level != 14)
        return;
    const int s = Index + 1;
    if (st.Item(s, 0) == 0)
        return;
    st.CurrentSlot = int16_t(s);
    const int k = st.Item(s, 1);
    const int t = ++st.Item(s, k * 10 + 10);
    const Verdict v = st.Item(s, k * 10 + 1) == kind ? Verdict::Right : Verdict::Wrong;
    if (recorder) {
        TypedAnswer pressed;
        pressed.t1 = kind;
        recorder->CheckBegins(s, k, t, pressed, true);
        recorder->CheckEnds(v);
    }
    concludeCheck(s, k, t, v);
}

void Form1::Command3_Click(int16_t Index)
{
    answerKind(Index, 0);
}

void Form1::Command4_Click(int16_t Index)
{
    answerKind(Index, 1);
}

void Form1::Command9_Click(int16_t Index)
{
    answerKind(Index, 2);
}
