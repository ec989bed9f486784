// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Form1.h"

#include <QKeyEvent>

// Which box of a slot the keypad fills, shown by colour: the receiving box pink, the
// others grey. The keyboard types into it too.
void Form1::setActiveField(int slot, int box)
{
    st.ActiveField[slot] = int16_t(box);
    const std::array<QLineEdit*, 3> boxes{Text1[slot - 1], Text2[slot - 1], Text3[slot - 1]};
    for (int b = 0; b < 3; ++b)
        SetBackColor(boxes[b], b == box ? colours::Pink : colours::Grey);
    focusReceivingBox(slot);
}

// The keyboard follows the pink box: the box that receives the keypad's digits of slot s
// takes the keyboard focus, where it is shown.
void Form1::focusReceivingBox(int s)
{
    if (s < 1 || s > 3 || !Text1[s - 1])
        return;
    const int field = st.ActiveField[s];
    QLineEdit* box = field == 0 ? Text1[s - 1] : field == 1 ? Text2[s - 1] : Text3[s - 1];
    if (box->isVisibleTo(this))
        box->setFocus(Qt::OtherFocusReason);
}

// Keys in an answer box of slot Index + 1 (box 0..2): Enter presses the slot's ﾁｪｯｸ, Tab and
// Shift+Tab move to its next or previous shown box as a click on that box does. Returns
// whether the key was taken; every other key edits the box as usual.
bool Form1::answerBoxKey(int16_t Index, int box, const QKeyEvent& key)
{
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) {
        // A held-down Enter repeats; only its first press is one.
        if (!key.isAutoRepeat())
            Command5_Click(Index);
        return true;
    }
    if ((key.key() != Qt::Key_Tab && key.key() != Qt::Key_Backtab)
        || (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    const bool back = key.key() == Qt::Key_Backtab || (key.modifiers() & Qt::ShiftModifier);
    const std::array<QLineEdit*, 3> boxes{Text1[Index], Text2[Index], Text3[Index]};
    static constexpr std::array<void (Form1::*)(int16_t), 3> clicks{&Form1::Text1_Click, &Form1::Text2_Click,
                                                                    &Form1::Text3_Click};
    for (int step = 1; step <= 3; ++step) {
        const int next = (box + (back ? 3 - step : step)) % 3;
        if (boxes[next]->isVisibleTo(this)) {
            (this->*clicks[next])(Index);
            break;
        }
    }
    return true;
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
