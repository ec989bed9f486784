// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FractionSums.h"

#include "answer/Val.h"

#include <QTest>

TypedAnswer Typed(const Boxes& b)
{
    TypedAnswer a;
    a.text1 = b.den;
    a.text2 = b.num;
    a.text3 = b.whole;
    a.t1 = Val(a.text1);
    a.t2 = Val(a.text2);
    a.t3 = Val(a.text3);
    return a;
}

void Answer(Harness& h, int s, const Boxes& b)
{
    if (!b.den.isEmpty())
        h.Type(s, 1, b.den);
    if (!b.num.isEmpty())
        h.Type(s, 2, b.num);
    if (!b.whole.isEmpty())
        h.Type(s, 3, b.whole);
}

FractionRecord CurrentRecord(Harness& h, int s)
{
    return {h.Rec(s, 1), h.Rec(s, 2), h.Rec(s, 3), h.Rec(s, 4), h.Rec(s, 5)};
}

bool ProblemUntil(Harness& h, int s, const std::function<bool(const FractionRecord&)>& fits, int tries)
{
    for (int i = 0; i < tries; ++i) {
        if (fits(CurrentRecord(h, s)))
            return true;
        h.st().CurrentSlot = int16_t(s);
        h.form->NewProblem();
    }
    return fits(CurrentRecord(h, s));
}

int DarkPixels(const QImage& image, const QRect& r)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                ++n;
    return n;
}

void VerifyBoxesReset(Harness& h, int s)
{
    Form1& f = *h.form;
    const int i = s - 1;
    QVERIFY(f.Text1[i]->text().isEmpty());
    QVERIFY(f.Text2[i]->text().isEmpty());
    QVERIFY(f.Text3[i]->text().isEmpty());
    QCOMPARE(BackColor(f.Text1[i]), colours::Pink);
    QCOMPARE(BackColor(f.Text2[i]), colours::Grey);
    QCOMPARE(BackColor(f.Text3[i]), colours::Grey);
    QCOMPARE(int(h.st().ActiveField[s]), 0);
}

namespace {

// A wrong answer, with a whole part where the level shows its box, so that emptying
// that box is seen too.
Boxes WrongFor(Harness& h, int s, const FractionRecord& r)
{
    const bool wholeBox = h.form->Text3[s - 1]->isVisibleTo(h.form.get());
    return {wholeBox ? QStringLiteral("9") : QString(), QStringLiteral("1"), QString::number(r.d + 1)};
}

// After a right answer: the next problem is on show with all boxes empty.
void VerifyNextProblem(Harness& h, int s, int k)
{
    QCOMPARE(h.Problem(s), k + 1);
    VerifyBoxesReset(h, s);
}

} // namespace

void RunDrill(const LevelAnswers& answers, DrillPath path, int s, uint32_t seed)
{
    Harness h;
    h.Seed(seed);
    h.StartLevel(answers.level);
    h.PressSlot(s);
    QCOMPARE(h.Problem(s), 1);
    if (path == DrillPath::HintThenRight) {
        QVERIFY(answers.hint);
        QVERIFY2(ProblemUntil(h, s, [&](const FractionRecord& r) { return answers.hint(r).has_value(); }),
                 "no problem that earns a hint");
        // the problems drawn while searching were never answered; start counting from here
    }
    const int k = h.Problem(s);
    const FractionRecord r = CurrentRecord(h, s);
    const Boxes right = answers.right(r);
    const int beeps = h.platform.beeps;

    switch (path) {
    case DrillPath::RightAtOnce:
        Answer(h, s, right);
        h.Check(s);
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.platform.beeps, beeps + 1);
        QCOMPARE(h.MarkOf(s, k), 1);
        VerifyNextProblem(h, s, k);
        break;
    case DrillPath::HintThenRight: {
        const auto [boxes, text] = *answers.hint(r);
        Answer(h, s, boxes);
        h.Check(s);
        QCOMPARE(h.platform.messages, QStringList{text});
        // no mark: no beep, no pause; the try counts and the boxes keep their texts
        QCOMPARE(h.platform.beeps, beeps);
        QCOMPARE(h.platform.pauses, 0);
        QCOMPARE(h.Problem(s), k);
        QCOMPARE(h.st().Item(s, k * 10 + 10), 1);
        QCOMPARE(h.MarkOf(s, k), 0);
        QCOMPARE(h.form->Text1[s - 1]->text(), boxes.den);
        QCOMPARE(h.form->Text2[s - 1]->text(), boxes.num);
        QCOMPARE(h.form->Text3[s - 1]->text(), boxes.whole);
        QTest::mouseClick(h.form->Command7[s - 1], Qt::LeftButton);   // けす empties all three
        QVERIFY(h.form->Text1[s - 1]->text().isEmpty() && h.form->Text3[s - 1]->text().isEmpty());
        Answer(h, s, right);
        h.Check(s);
        QCOMPARE(h.MarkOf(s, k), 2);
        VerifyNextProblem(h, s, k);
        break;
    }
    case DrillPath::WrongThenRight:
        Answer(h, s, WrongFor(h, s, r));
        h.Check(s);
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.platform.beeps, beeps + 1);
        QCOMPARE(h.Problem(s), k);
        QCOMPARE(h.MarkOf(s, k), 0);
        VerifyBoxesReset(h, s);
        if (QTest::currentTestFailed())
            return;
        Answer(h, s, right);
        h.Check(s);
        QCOMPARE(h.MarkOf(s, k), 2);
        VerifyNextProblem(h, s, k);
        break;
    case DrillPath::ThreeWrong:
        for (int t = 1; t <= 3; ++t) {
            QCOMPARE(h.Problem(s), k);
            Answer(h, s, WrongFor(h, s, r));
            h.Check(s);
        }
        QCOMPARE(h.platform.beeps, beeps + 3);
        QCOMPARE(h.MarkOf(s, k), 3);
        VerifyNextProblem(h, s, k);
        break;
    }
}
