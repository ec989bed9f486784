// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Form1.h"

// Which box of a slot the keypad fills, shown by colour: the receiving box pink, the
// others grey.
void Form1::setActiveField(int slot, int box)
{
    st.ActiveField[slot] = int16_t(box);
    const std::array<QLineEdit*, 3> boxes{Text1[slot - 1], Text2[slot - 1], Text3[slot - 1]};
    for (int b = 0; b < 3; ++b)
        SetBackColor(boxes[b], b == box ? colours::Pink : colours::Grey);
}

void Form1::Text1_Click(int16_t Index)
{
    setActiveField(Index + 1, 0);
}

void Form1::Text2_Click(int16_t Index)
{
    setActiveField(Index + 1, 1);
}

void Form1::Text3_Click(int16_t Index)
{
    setActiveField(Index + 1, 2);
}

void Form1::Command6_Click(int16_t Index)
{
    if (Index < 0 || Index > 29)
        return;
    const int k = Index / 10;
    const int digit = k == 0 ? Index : 10 * k + 9 - Index;
    const int field = st.ActiveField[k + 1];
    QLineEdit* target = field == 0 ? Text1[k] : field == 1 ? Text2[k] : Text3[k];
    target->setText(target->text() + QString::number(digit));
}

void Form1::Command7_Click(int16_t Index)
{
    if (Index < 0 || Index > 2)
        return;
    const int level = st.Level;
    if ((level >= 9 && level <= 12) || (level >= 16 && level <= 22)) {
        Text1[Index]->clear();
        Text2[Index]->clear();
        Text3[Index]->clear();
    } else if (st.ActiveField[Index + 1] == 0) {
        Text1[Index]->clear();
    } else {
        Text2[Index]->clear();
    }
}
