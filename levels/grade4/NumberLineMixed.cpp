// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade4/NumberLineMixed.h"

#include "levels/LevelTable.h"
#include "levels/SharedRules.h"
#include "levels/grade3/NumberLine.h"

namespace {

const QString kPrompt = QStringLiteral("分数で読みましょう。");

// The answer boxes and their bar are placed when the slot is started; this level draws
// only the line and the prompt.
class NumberLineMixedRules final : public MixedAnswerRule
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        const MixedPoint p = DrawMixedPoint(ex.rnd);
        const int top = Exercise::Top(s);
        Surface& pic = ex.Pic();
        DrawMixedNumberLine(pic, top, p);
        ex.Rec(s, k, 1) = p.d;
        ex.Rec(s, k, 2) = p.n;
        ex.Rec(s, k, 3) = p.w;
        ex.Rec(s, k, 4) = 0;
        ex.st.PromptText = kPrompt;
        pic.ForeColor = colours::Black;
        ex.PrintAt(80, top + 120, kPrompt);
    }
};

} // namespace

MixedPoint DrawMixedPoint(Random& rnd)
{
    int d = 0, n = 0;
    do {
        d = int(rnd.Rnd() * 5) + 2;
        n = int(rnd.Rnd() * d) + 1;
    } while (n >= d);
    const int w = int(rnd.Rnd() * 4) + 1;
    return {d, n, w};
}

void DrawMixedNumberLine(Surface& pic, int top, const MixedPoint& p)
{
    using namespace numberline;
    const int parts = p.Parts();
    DrawStrip(pic, top);
    for (int i = 1; i <= parts; ++i) {
        DrawTick(pic, top, TickX(i, parts));
        if (i % p.d == 0) {
            // The whole number stands over its tick, a little to the left like the "0".
            pic.ForeColor = colours::Black;
            pic.CurrentX = 72 + i * kLength / parts;
            pic.CurrentY = top + 170;
            pic.Print(QString::number(i / p.d));
        }
    }
    pic.ForeColor = colours::Black;
    pic.CurrentX = 73;
    pic.CurrentY = top + 170;
    pic.Print(QStringLiteral("0"));
    DrawArrow(pic, top, TickX(p.w * p.d + p.n, parts));
}

LevelRules& Level12Rules() { static NumberLineMixedRules rules; return rules; }
