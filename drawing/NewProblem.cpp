// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/LevelTable.h"
#include "shell/Form1.h"
#include "shell/Texts.h"

namespace {
// The last two characters of a number written with a leading blank when not negative:
// " 5" for 5, "12" for 12.
QString LastTwo(int n)
{
    const QString text = (n >= 0 ? QStringLiteral(" ") : QString()) + QString::number(n);
    return text.right(2);
}

QString MarkOf(int32_t mark)
{
    switch (mark) {
    case 1: return texts::Right;
    case 2: return texts::Retried;
    case 3: return texts::Wrong;
    default: return QString();
    }
}
} // namespace

void Form1::makeRoomForNextProblem(int s)
{
    // A slot's table holds problems 1..99. From the 100th problem on, the oldest record is
    // dropped and the others move down one place, so the current problem stays number 99
    // and the 98 before it (the score line and the no-repeat rules) are still there.
    auto& data = st.ProblemData[s];
    if (data[1] < AppState::kMaxProblem)
        return;
    std::copy(data.begin() + 21, data.end(), data.begin() + 11);
    std::fill(data.end() - 10, data.end(), 0);
    data[1] = AppState::kMaxProblem - 1;
}

void Form1::NewProblem()
{
    const int s = st.CurrentSlot;
    const int top = (s - 1) * 220;
    Surface& panel = *Picture1[st.PanelIndex];

    panel.ForeColor = colours::White;
    panel.FillColor = colours::White;
    panel.FillStyle = 0;
    panel.RoundRect(20, top + 70, 770, top + 280, 30, 30);
    panel.Refresh();

    makeRoomForNextProblem(s);
    const int k = ++st.Item(s, 1);
    QString marks;
    if (k > 1)
        for (int j = std::max(1, k - 9); j <= k; ++j)
            marks += MarkOf(st.Item(s, j * 10 + 8));
    const int shown = st.Level <= 10 ? st.Level : st.Level - 10;
    panel.ForeColor = colours::Black;
    panel.CurrentX = 30;
    panel.CurrentY = top + 75;
    panel.Print(texts::ScoreLevel + LastTwo(shown) + QStringLiteral(" (") + LastTwo(k) + texts::ScoreMarks
                + marks);

    RulesFor(st.Level).Generate(exercise_, s, k);

    SetBackColor(Text1[s - 1], colours::Pink);
    SetBackColor(Text2[s - 1], colours::Grey);
    Text1[s - 1]->clear();
    Text2[s - 1]->clear();
}
