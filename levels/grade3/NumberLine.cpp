// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade3/NumberLine.h"

#include "levels/LevelTable.h"
#include "levels/SharedRules.h"

namespace numberline {

void DrawStrip(Surface& pic, int top)
{
    // A box with its top edge painted over in white leaves the strip open at the top.
    pic.Box(kLeft, top + kStripTop, kLength, kStripHeight, colours::Black);
    pic.Line(kLeft, top + kStripTop, kLength, 0, colours::White);
}

void DrawTick(Surface& pic, int top, double x)
{
    pic.Line(x, top + kStripTop, 0, kStripHeight, colours::Black);
}

void DrawArrow(Surface& pic, int top, double x)
{
    const int lineY = top + kStripTop + kStripHeight;
    pic.Line(x, lineY, 0, kArrowLength, colours::Red);
    pic.Line(x, lineY, kArrowWing, kArrowWing, colours::Red);
    pic.Line(x, lineY, -kArrowWing, kArrowWing, colours::Red);
}

} // namespace numberline

namespace {

const QString kPrompt = QStringLiteral("分数で読みましょう。");

class NumberLineRules final : public DefaultRule
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        const NumberLinePoint p = DrawNumberLinePoint(ex.rnd);
        const int top = Exercise::Top(s);
        Surface& pic = ex.Pic();
        DrawNumberLine(pic, top, p);
        ex.Rec(s, k, 1) = p.d;
        ex.Rec(s, k, 2) = p.n;
        ex.Rec(s, k, 3) = 0;
        ex.Rec(s, k, 4) = 0;
        ex.st.PromptText = kPrompt;
        pic.ForeColor = colours::Black;
        ex.PrintAt(80, top + 120, kPrompt);
        ex.MoveBox(ex.Text1(s), 620, top + 180);
        ex.MoveBox(ex.Text2(s), 620, top + 120);
        ex.Bar(608, top + 170, 67);
    }
};

} // namespace

NumberLinePoint DrawNumberLinePoint(Random& rnd)
{
    for (;;) {
        int d = int(rnd.Rnd() * 10) + 2;
        if (d > 10)
            d = 10;
        const int n = int(rnd.Rnd() * d) + 1;
        if (n < d)
            return {d, n};
    }
}

void DrawNumberLine(Surface& pic, int top, const NumberLinePoint& p)
{
    using namespace numberline;
    DrawStrip(pic, top);
    for (int i = 1; i <= p.d; ++i)
        DrawTick(pic, top, TickX(i, p.d));
    pic.ForeColor = colours::Black;
    pic.CurrentX = 73;
    pic.CurrentY = top + 170;
    pic.Print(QStringLiteral("0"));
    pic.CurrentX = 572;
    pic.CurrentY = top + 170;
    pic.Print(QStringLiteral("1"));
    DrawArrow(pic, top, TickX(p.n, p.d));
}

LevelRules& Level6Rules() { static NumberLineRules rules; return rules; }
