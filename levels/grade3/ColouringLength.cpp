// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade3/ColouringLength.h"

#include "levels/History.h"
#include "levels/LevelTable.h"

#include <algorithm>

namespace {

const QString kPrompt = QStringLiteral("色をぬりましょう。");
const QString kCorrectionHint = QStringLiteral("ていせい=まちがえたところをクリック");
const QString kOneMetre = QStringLiteral("１ｍ");
const QString kMetre = QStringLiteral("ｍ");

// The tape, relative to the slot's y0: cells of kTapeWidth / d between the dividers.
constexpr int kTapeLeft = 80, kTapeTop = 230, kTapeWidth = 500, kTapeHeight = 25;
// The check reads each cell this far right of its left divider and below the tape's top.
constexpr int kReadInset = 5;
// Draws rejected for sharing a number with the previous problem before one is taken anyway.
constexpr int kSimilarRejections = 10;

int RedCells(Exercise& ex, int s, int k)
{
    const int d = ex.Rec(s, k, 1);
    const int top = Exercise::Top(s);
    int red = 0;
    for (int i = 0; i < d; ++i)
        if (ex.Pic().Point(kTapeLeft + kReadInset + i * double(kTapeWidth) / d, top + kTapeTop + kReadInset)
            == colours::Red)
            ++red;
    return red;
}

QString CellsInWords(int cells)
{
    return QString::number(cells) + QStringLiteral(" マス");
}

class ColouringLengthRules final : public LevelRules
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        std::vector<ProperFraction> earlier;
        for (int j = 1; j < k; ++j)
            earlier.push_back({ex.Rec(s, j, 1), ex.Rec(s, j, 2)});
        const auto [d, n] = DrawColouring([&ex] { return ex.Rnd(); }, earlier);

        const int top = Exercise::Top(s);
        Surface& p = ex.Pic();
        p.FillStyle = 1;
        for (int i = 1; i <= d; ++i)
            p.Line(kTapeLeft + i * double(kTapeWidth) / d, top + kTapeTop, 0, kTapeHeight, colours::Black);
        p.Box(kTapeLeft, top + kTapeTop, kTapeWidth, kTapeHeight, colours::Black);
        p.ForeColor = colours::Black;
        ex.PrintAt(300, top + 200, kOneMetre);
        p.Line(kTapeLeft, top + kTapeTop, 200, -15, colours::Black);
        p.Line(kTapeLeft + kTapeWidth, top + kTapeTop, -200, -15, colours::Black);
        ex.st.PromptText = kPrompt;
        ex.PrintAt(80, top + 120, ex.st.PromptText);
        p.FontSize = 14;
        ex.PrintAt(80, top + 170, kCorrectionHint);
        p.FontSize = 24;
        ex.PrintAt(442, top + 175, d);
        ex.PrintAt(442, top + 135, n);
        ex.Bar(430, top + 170, 40);
        ex.PrintAt(480, top + 150, kMetre);
        ex.Rec(s, k, 1) = d;
        ex.Rec(s, k, 2) = n;
        ex.Rec(s, k, 3) = 0;
        ex.Rec(s, k, 4) = 0;
    }

    // Right when as many cells are red as the numerator says, wherever they are.
    Verdict Judge(Exercise& ex, int s, int k, int, const TypedAnswer&) override
    {
        return RedCells(ex, s, k) == ex.Rec(s, k, 2) ? Verdict::Right : Verdict::Wrong;
    }

    QString AnswerInWords(Exercise& ex, int s, int k, const TypedAnswer&) override
    {
        return CellsInWords(RedCells(ex, s, k));
    }

    // Any n cells are right; in words they are all the same.
    QStringList RightAnswersInWords(Exercise& ex, int s, int k) override
    {
        return {CellsInWords(ex.Rec(s, k, 2))};
    }

    QString MistakeInWords(Exercise& ex, int s, int k, const TypedAnswer&) override
    {
        TypedAnswer cells;
        cells.t1 = RedCells(ex, s, k);
        return LevelRules::MistakeInWords(ex, s, k, cells);
    }

    // A press inside the tape turns a white cell red and a red one white; on a divider or
    // the outline the fill starts on black and changes nothing.
    void Press(Exercise& ex, int s, double x, double y) override
    {
        const int top = Exercise::Top(s);
        if (!(x > kTapeLeft && x < kTapeLeft + kTapeWidth && y > top + kTapeTop && y < top + kTapeTop + kTapeHeight))
            return;
        Surface& p = ex.Pic();
        p.FillColor = p.Point(x, y) == colours::Red ? colours::White : colours::Red;
        p.FillStyle = 0;
        p.FloodFill(x, y, colours::Black);
        p.Refresh();
    }
};

} // namespace

ProperFraction DrawColouring(const std::function<double()>& rnd, const std::vector<ProperFraction>& earlier)
{
    const int k = int(earlier.size()) + 1;
    const auto history = earlier.begin() + (HistoryStart(k, kColouringProblems) - 1);
    int similar = 0;
    for (int rejected = 0;;) {
        const int d = std::min(int(rnd() * 8) + 2, 8);
        const int n = int(rnd() * d) + 1;
        if (n >= d)
            continue;
        const ProperFraction drawn{d, n};
        if (rejected >= kMaxRejectedDraws)
            return drawn;
        if (std::any_of(history, earlier.end(), [&](const ProperFraction& e) { return e.d == d && e.n == n; })) {
            ++rejected;
            continue;
        }
        if (!earlier.empty() && similar < kSimilarRejections
            && (earlier.back().d == d || earlier.back().n == n)) {
            ++similar;
            ++rejected;
            continue;
        }
        return drawn;
    }
}

LevelRules& Level5Rules() { static ColouringLengthRules rules; return rules; }
