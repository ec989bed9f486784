// SPDX-License-Identifier: GPL-3.0-or-later
// Levels 6 and 12: reading a point of the number line, from 0 to 1 and beyond 1.
#include "levels/grade3/NumberLine.h"
#include "levels/grade4/NumberLineMixed.h"
#include "shell/Texts.h"
#include "support/Harness.h"
#include "support/LinesDrills.h"

#include <QTest>
#include <map>

namespace {

constexpr int kDraws = 60000;

// Share of each denominator once the draws with n = d are thrown away: weight(d) * (d-1)/d.
std::map<int, double> AcceptedShares(const std::map<int, double>& weights)
{
    std::map<int, double> shares;
    double total = 0;
    for (auto [d, w] : weights)
        total += shares[d] = w * (d - 1) / d;
    for (auto& [d, v] : shares)
        v /= total;
    return shares;
}

bool IsBlack(QRgb c) { return (c & 0xffffffu) == 0; }
bool IsRed(QRgb c) { return (c & 0xffffffu) == 0xff0000u; }
bool IsWhite(QRgb c) { return (c & 0xffffffu) == 0xffffffu; }

// A fresh white surface as NewProblem leaves it: solid white fill.
struct Blank
{
    Surface pic;
    Blank()
    {
        PrepareTestApplication();
        pic.resizeImage(800, 740);
        pic.FilledBox(0, 0, 800, 740, colours::White);
        pic.FillStyle = 0;
        pic.FillColor = colours::White;
    }
};

// Checks the ticks of a line of `parts` parts and the arrow at part `at`, in slot row top.
void VerifyLine(const Surface& pic, int top, int parts, int at)
{
    const QImage& img = pic.image();
    for (int i = 1; i <= parts; ++i) {
        const int x = RoundPixel(80 + i * 500.0 / parts);
        QVERIFY2(IsBlack(img.pixel(x, top + 207)), qPrintable(QString("tick %1 at x %2").arg(i).arg(x)));
        const int between = RoundPixel(80 + (i - 0.5) * 500.0 / parts);
        QVERIFY2(IsWhite(img.pixel(between, top + 207)), qPrintable(QString("gap before tick %1").arg(i)));
        // The strip is open at the top: no black along its top row between the ends.
        QVERIFY(!IsBlack(img.pixel(between, top + 200)));
        // ... and closed at the bottom by the line itself.
        QVERIFY(IsBlack(img.pixel(between, top + 214)) || IsBlack(img.pixel(between, top + 215)));
        const int belowLine = top + 221;
        QCOMPARE(IsRed(img.pixel(x, belowLine)), i == at);
    }
    QVERIFY(IsBlack(img.pixel(80, top + 207)));   // closed at the left
    const int x = RoundPixel(80 + at * 500.0 / parts);
    for (int dy = 1; dy <= 9; ++dy)
        QVERIFY2(IsRed(img.pixel(x, top + 215 + dy)), qPrintable(QString("shaft at +%1").arg(dy)));
    for (int w = 1; w <= 4; ++w) {
        QVERIFY(IsRed(img.pixel(x - w, top + 215 + w)) || w == 4);
        QVERIFY(IsRed(img.pixel(x + w, top + 215 + w)) || w == 4);
    }
    QVERIFY(!IsRed(img.pixel(x, top + 228)));   // the shaft is 10 px long
}

} // namespace

class NumberLineTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void level6Draws()
    {
        Random rnd;
        rnd.Seed(606);
        std::map<int, int> byD;
        std::map<std::pair<int, int>, int> byPair;
        for (int i = 0; i < kDraws; ++i) {
            const NumberLinePoint p = DrawNumberLinePoint(rnd);
            QVERIFY(p.d >= 2 && p.d <= 10);
            QVERIFY(p.n >= 1 && p.n < p.d);
            ++byD[p.d];
            ++byPair[{p.d, p.n}];
        }
        QCOMPARE(int(byPair.size()), 45);   // every n/d with d = 2..10 comes up
        // 10 and 11 both give 10; the numerator draw then keeps (d-1)/d of each denominator.
        std::map<int, double> weights;
        for (int d = 2; d <= 10; ++d)
            weights[d] = d == 10 ? 2 : 1;
        for (auto [d, share] : AcceptedShares(weights)) {
            const double seen = double(byD[d]) / kDraws;
            QVERIFY2(std::abs(seen - share) < 0.006, qPrintable(QString("d %1: %2 vs %3").arg(d).arg(seen).arg(share)));
        }
        const double tenToNine = double(byD[10]) / byD[9];
        QVERIFY2(tenToNine > 1.85 && tenToNine < 2.2, qPrintable(QString::number(tenToNine)));
    }

    void level12Draws()
    {
        Random rnd;
        rnd.Seed(1212);
        std::map<int, int> byD, byW;
        for (int i = 0; i < kDraws; ++i) {
            const MixedPoint p = DrawMixedPoint(rnd);
            QVERIFY(p.d >= 2 && p.d <= 6);
            QVERIFY(p.n >= 1 && p.n < p.d);
            QVERIFY(p.w >= 1 && p.w <= 4);
            ++byD[p.d];
            ++byW[p.w];
        }
        for (int w = 1; w <= 4; ++w)
            QVERIFY2(std::abs(double(byW[w]) / kDraws - 0.25) < 0.01, qPrintable(QString::number(byW[w])));
        std::map<int, double> weights;
        for (int d = 2; d <= 6; ++d)
            weights[d] = 1;
        for (auto [d, share] : AcceptedShares(weights))
            QVERIFY2(std::abs(double(byD[d]) / kDraws - share) < 0.008, qPrintable(QString::number(d)));
    }

    void level6Picture_data()
    {
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("slot");
        QTest::newRow("1/10, ticks 50 px apart") << 10 << 1 << 1;
        QTest::newRow("9/10 next to the right end") << 10 << 9 << 2;
        QTest::newRow("1/3 between pixels") << 3 << 1 << 3;
        QTest::newRow("2/3") << 3 << 2 << 1;
        QTest::newRow("1/2") << 2 << 1 << 2;
        QTest::newRow("4/7") << 7 << 4 << 3;
    }
    void level6Picture()
    {
        QFETCH(int, d);
        QFETCH(int, n);
        QFETCH(int, slot);
        Blank b;
        const int top = (slot - 1) * 220;
        DrawNumberLine(b.pic, top, {d, n});
        VerifyLine(b.pic, top, d, n);
        if (d == 10)
            QCOMPARE(RoundPixel(80 + 2 * 500.0 / d) - RoundPixel(80 + 500.0 / d), 50);
        // "0" and "1" over the ends and nothing else above the strip.
        const QImage want = lines::Expected(b.pic, [top](Surface& p) {
            lines::PrintAt(p, 73, top + 170, "0");
            lines::PrintAt(p, 572, top + 170, "1");
        });
        QCOMPARE(DifferingPixels(b.pic.image(), want, QRect(QPoint(30, top + 150), QPoint(760, top + 199))), 0);
    }

    void mixedPicture_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("n");
        QTest::newRow("4 1/6: 30 parts, labels 1..5") << 4 << 6 << 1;
        QTest::newRow("4 5/6 next to the right end") << 4 << 6 << 5;
        QTest::newRow("1 1/2: 4 parts") << 1 << 2 << 1;
        QTest::newRow("2 3/5: 15 parts") << 2 << 5 << 3;
        QTest::newRow("3 2/3: 12 parts") << 3 << 3 << 2;
    }
    // Through the window: the slot shows the line of the drawn problem, its labels and the
    // prompt, and the record holds d, n, w.
    void mixedPicture()
    {
        QFETCH(int, w);
        QFETCH(int, d);
        QFETCH(int, n);
        const uint32_t seed = SeedWhere(DrawMixedPoint, [&](const MixedPoint& p) {
            return p.w == w && p.d == d && p.n == n;
        });
        QVERIFY(seed != 0);
        Harness h;
        h.StartLevel(12);
        h.Seed(seed);
        h.PressSlot(2);
        QCOMPARE(h.Rec(2, 1), d);
        QCOMPARE(h.Rec(2, 2), n);
        QCOMPARE(h.Rec(2, 3), w);
        QCOMPARE(h.Rec(2, 4), 0);
        const int top = 220;
        const int parts = (w + 1) * d;
        VerifyLine(h.panel(), top, parts, w * d + n);
        const QImage want = lines::Expected(h.panel(), [&](Surface& p) {
            lines::PrintAt(p, 80, top + 120, QStringLiteral("分数で読みましょう。"));
            lines::PrintAt(p, 73, top + 170, "0");
            for (int whole = 1; whole <= w + 1; ++whole)
                lines::PrintAt(p, 72 + whole * d * 500.0 / parts, top + 170, QString::number(whole));
        });
        // Above the strip and left of the answer boxes: prompt and labels only.
        QCOMPARE(DifferingPixels(h.panel().image(), want, QRect(QPoint(30, top + 118), QPoint(610, top + 199))), 0);
        QCOMPARE(h.st().PromptText, QStringLiteral("分数で読みましょう。"));
    }

    // Level 6 through the window, one check per row on a fresh slot.
    void level6Check_data()
    {
        QTest::addColumn<QString>("numerator");     // Text2; "n", "d", "2n", "2d" or digits
        QTest::addColumn<QString>("denominator");   // Text1
        QTest::addColumn<QString>("outcome");       // right, wrong or refused
        QTest::newRow("n over d") << "n" << "d" << "right";
        QTest::newRow("swapped boxes") << "d" << "n" << "wrong";
        QTest::newRow("same value in other terms") << "2n" << "2d" << "wrong";
        QTest::newRow("empty numerator is judged as 0") << "" << "d" << "wrong";
        QTest::newRow("empty denominator is refused") << "n" << "" << "refused";
        QTest::newRow("leading zero") << "0n" << "0d" << "right";
    }
    void level6Check()
    {
        QFETCH(QString, numerator);
        QFETCH(QString, denominator);
        QFETCH(QString, outcome);
        Harness h;
        h.StartLevel(6);
        h.Seed(66);
        h.PressSlot(3);
        const int d = h.Rec(3, 1), n = h.Rec(3, 2);
        const auto fill = [&](QString pattern) {
            return pattern.replace("2n", QString::number(2 * n)).replace("2d", QString::number(2 * d))
                .replace("n", QString::number(n)).replace("d", QString::number(d));
        };
        h.Type(3, 2, fill(numerator));
        h.Type(3, 1, fill(denominator));
        h.Check(3);
        if (outcome == "refused") {
            QCOMPARE(h.platform.messages, QStringList{texts::TypeAnswer});
            QCOMPARE(h.Rec(3, 10), 0);
            return;
        }
        QVERIFY(h.platform.messages.isEmpty());
        if (outcome == "right") {
            QCOMPARE(h.MarkOf(3, 1), 1);
            QCOMPARE(h.Problem(3), 2);
        } else {
            QCOMPARE(h.Problem(3), 1);
            QCOMPARE(h.Rec(3, 10), 1);
            QVERIFY(h.form->Text1[2]->text().isEmpty());
            QVERIFY(h.form->Text2[2]->text().isEmpty());
            QCOMPARE(BackColor(h.form->Text1[2]), colours::Pink);
        }
    }

    // The boxes and their bar stand right of the line in every slot.
    void level6Boxes()
    {
        Harness h;
        h.StartLevel(6);
        for (int s = 1; s <= 3; ++s) {
            h.PressSlot(s);
            const int top = (s - 1) * 220;
            QCOMPARE(h.form->Text1[s - 1]->pos(), QPoint(620, top + 180));
            QCOMPARE(h.form->Text2[s - 1]->pos(), QPoint(620, top + 120));
            QVERIFY(h.form->Text2[s - 1]->isVisible());
            QCOMPARE(CountPixels(h.panel().image(), QRect(608, top + 170, 67, 3), colours::Black), 67 * 3);
            QCOMPARE(h.st().PromptText, QStringLiteral("分数で読みましょう。"));
            VerifyLine(h.panel(), top, h.Rec(s, 1), h.Rec(s, 2));
        }
    }

    void level6ThreeWrongThenRight()
    {
        Harness h;
        h.StartLevel(6);
        h.PressSlot(1);
        const QImage before = h.panel().image().copy();
        h.Click(300, 215);   // on the line: nothing happens at this level
        QCOMPARE(h.panel().image(), before);
        const int d = h.Rec(1, 1);
        for (int t = 1; t <= 3; ++t) {
            QCOMPARE(h.Problem(1), 1);
            h.Type(1, 2, QString::number(d));
            h.Type(1, 1, QString::number(d));
            h.Check(1);
        }
        QCOMPARE(h.MarkOf(1, 1), 3);
        QCOMPARE(h.Problem(1), 2);
        h.Type(1, 1, "1");
        h.Check(1);   // wrong once ...
        h.Type(1, 2, QString::number(h.Rec(1, 2)));
        h.Type(1, 1, QString::number(h.Rec(1, 1)));
        h.Check(1);   // ... then right: a triangle
        QCOMPARE(h.MarkOf(1, 2), 2);
        QCOMPARE(h.Problem(1), 3);
    }

    void level12Check_data()
    {
        QTest::addColumn<QString>("whole");         // Text1
        QTest::addColumn<QString>("numerator");     // Text3
        QTest::addColumn<QString>("denominator");   // Text2
        QTest::addColumn<QString>("outcome");
        // The problem is 1 2/3.
        QTest::newRow("1 2/3") << "1" << "2" << "3" << "right";
        QTest::newRow("improper 0 5/3") << "0" << "5" << "3" << "wrong";
        QTest::newRow("1 4/6") << "1" << "4" << "6" << "wrong";
        QTest::newRow("numerator and denominator swapped") << "1" << "3" << "2" << "wrong";
        QTest::newRow("whole part missing") << "" << "2" << "3" << "refused";
        QTest::newRow("2/3 without the whole") << "0" << "2" << "3" << "wrong";
        QTest::newRow("leading zeros") << "01" << "02" << "03" << "right";
    }
    void level12Check()
    {
        QFETCH(QString, whole);
        QFETCH(QString, numerator);
        QFETCH(QString, denominator);
        QFETCH(QString, outcome);
        const uint32_t seed = SeedWhere(DrawMixedPoint, [](const MixedPoint& p) {
            return p.w == 1 && p.d == 3 && p.n == 2;
        });
        Harness h;
        h.StartLevel(12);
        h.Seed(seed);
        h.PressSlot(1);
        QCOMPARE(h.Rec(1, 3), 1);
        QVERIFY(h.form->Text3[0]->isVisible());
        h.Type(1, 3, numerator);
        h.Type(1, 2, denominator);
        h.Type(1, 1, whole);
        h.Check(1);
        if (outcome == "refused") {
            QCOMPARE(h.platform.messages, QStringList{texts::TypeAnswer});
            QCOMPARE(h.Rec(1, 10), 0);
            QCOMPARE(h.form->Text3[0]->text(), numerator);
            return;
        }
        QCOMPARE(h.Problem(1), outcome == "right" ? 2 : 1);
        if (outcome == "right")
            QCOMPARE(h.MarkOf(1, 1), 1);
        // Right or wrong, the three boxes start empty with Text1 receiving the keypad, and
        // the bar between the numerator and the denominator is there again.
        for (QLineEdit* box : {h.form->Text1[0], h.form->Text2[0], h.form->Text3[0]})
            QVERIFY(box->text().isEmpty());
        QCOMPARE(BackColor(h.form->Text1[0]), colours::Pink);
        QCOMPARE(BackColor(h.form->Text2[0]), colours::Grey);
        QCOMPARE(BackColor(h.form->Text3[0]), colours::Grey);
        QCOMPARE(CountPixels(h.panel().image(), QRect(670, 166, 64, 3), colours::Black), 64 * 3);
    }

    void level12ThreeWrong()
    {
        Harness h;
        h.StartLevel(12);
        h.PressSlot(2);
        for (int t = 1; t <= 3; ++t) {
            QCOMPARE(h.Problem(2), 1);
            h.Type(2, 1, "9");
            h.Check(2);
        }
        QCOMPARE(h.MarkOf(2, 1), 3);
        QCOMPARE(h.Problem(2), 2);
        QVERIFY(h.platform.messages.isEmpty());
    }
};

QTEST_MAIN(NumberLineTest)
#include "tst_number_line.moc"
