// SPDX-License-Identifier: GPL-3.0-or-later
#include "answer/BoxPlacement.h"
#include "levels/LevelTable.h"
#include "shell/Form1.h"

namespace {
// Slot s covers 20 < X < 770 and its row strictly; slot 3 reaches down to 769.
int SlotAt(double x, double y, bool wide)
{
    if (!(x > 20 && x < 770))
        return 0;
    if (y > 70 && y < 280)
        return 1;
    if (y > 290 && y < 500)
        return 2;
    if (y > 510 && y < 770 && wide)
        return 3;
    return 0;
}
} // namespace

void Form1::Picture1_MouseDown(int16_t Index, int, int, double X, double Y)
{
    Surface& panel = *Picture1[st.PanelIndex];
    panel.ForeColor = colours::White;
    panel.FillColor = colours::White;
    panel.FillStyle = 1;
    // Every press greys Text3 of the pressed panel's index, unless that box is the one
    // receiving keypad digits: then its pink tells the truth and stays.
    if (Index >= 0 && Index <= 2 && st.ActiveField[Index + 1] != 2)
        SetBackColor(Text3[Index], colours::Grey);

    const int s = SlotAt(X, Y, st.ScreenWidthPixels >= 1000);
    if (s == 0) {
        platform.Beep();
        return;
    }
    st.CurrentSlot = int16_t(s);
    if (st.Level < 1 || st.Level > 22)
        return;

    if (st.Item(s, 0) != 0) {
        RulesFor(st.Level).Press(exercise_, s, X, Y);
        return;
    }

    st.Item(s, 0) = 1;
    std::fill(st.ProblemData[s].begin() + 1, st.ProblemData[s].begin() + 201, 0);
    // Text left in the third box by an earlier exercise must not judge a new answer.
    Text3[s - 1]->clear();
    NewProblem();

    const int i = s - 1;
    if (st.Level == 14) {
        Command3[i]->show();
        Command4[i]->show();
        Command9[i]->show();
    } else {
        Text1[i]->show();
        if (st.Level != 7)
            Text2[i]->show();
        (st.PanelIndex == 0 ? Command5[i] : Command5[5 - i])->show();
        Picture6[i]->show();
    }
    placeAnswerBoxes(s);
    focusReceivingBox(s);
}

void Form1::placeAnswerBoxes(int s)
{
    const int i = s - 1;
    const int y0 = (s - 1) * 220;
    const std::optional<BoxPlacement> place = PlacementFor(st.Level);
    if (!place) {
        Text3[i]->hide();
        return;
    }
    if (place->useText3) {
        Text3[i]->show();
        Text3[i]->move(place->text3->left, y0 + place->text3->top);
    }
    Text2[i]->move(place->text2.left, y0 + place->text2.top);
    Text1[i]->move(place->text1.left, y0 + place->text1.top);
    Picture1[st.PanelIndex]->FilledBox(place->bar.left, y0 + place->bar.top, 64, 3, colours::Black);
    exercise_.MakeText1Target(s, place->greyText3);
}
