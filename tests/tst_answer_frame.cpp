// SPDX-License-Identifier: GPL-3.0-or-later
// Answer boxes, keypads, the press frame, the check frame, problem numbering and finishing,
// driven through the real window with levels 1 to 4.
#include "shell/Texts.h"
#include "support/Harness.h"

#include <QTest>

namespace {
QString Score(int level, int k, const QString& marks)
{
    auto two = [](int n) { return QString(" %1").arg(n).right(2); };
    return "レベル" + two(level) + " (" + two(k) + ")  せいせき：" + marks;
}
} // namespace

class AnswerFrameTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void keypadDigits_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QList<int>>("buttons");
        QTest::addColumn<QString>("text");
        QTest::newRow("keypad 0 left to right") << 1 << QList<int>{3, 1} << "31";
        QTest::newRow("keypad 1 right to left") << 2 << QList<int>{16, 18} << "31";
        QTest::newRow("keypad 2 right to left") << 3 << QList<int>{29, 20} << "09";
    }
    void keypadDigits()
    {
        QFETCH(int, slot);
        QFETCH(QList<int>, buttons);
        QFETCH(QString, text);
        Harness h;
        h.StartLevel(1);
        for (int s = 1; s <= 3; ++s)
            h.PressSlot(s);
        for (int b : buttons)
            QTest::mouseClick(h.form->Command6[b], Qt::LeftButton);
        for (int s = 1; s <= 3; ++s) {
            QCOMPARE(h.form->Text1[s - 1]->text(), s == slot ? text : QString());
            QCOMPARE(h.form->Text2[s - 1]->text(), QString());
        }
    }

    void clickingBoxMovesKeypadTarget()
    {
        Harness h;
        h.StartLevel(1);
        h.PressSlot(2);
        Form1& f = *h.form;
        QCOMPARE(BackColor(f.Text1[1]), colours::Pink);
        QCOMPARE(BackColor(f.Text2[1]), colours::Grey);
        f.Command6_Click(17);   // digit 2 on keypad 1
        QTest::mousePress(f.Text2[1], Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(h.st().ActiveField[2], 1);
        QCOMPARE(BackColor(f.Text2[1]), colours::Pink);
        QCOMPARE(BackColor(f.Text1[1]), colours::Grey);
        QCOMPARE(f.Text1[1]->text(), QStringLiteral("2"));   // no text changed
        f.Command6_Click(15);   // digit 4
        QCOMPARE(f.Text2[1]->text(), QStringLiteral("4"));
        f.Text3_Click(1);
        f.Command6_Click(19);   // digit 0
        QCOMPARE(f.Text3[1]->text(), QStringLiteral("0"));
        f.Command6_Click(30);   // outside the keypads: nothing
        f.Command6_Click(-1);
        QCOMPARE(f.Text3[1]->text(), QStringLiteral("0"));
    }

    void eraseFollowsLevel_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("left");   // texts of Text1, Text2, Text3 after けす
        QTest::newRow("level 1 numerator") << 1 << 1 << "1,,3";
        QTest::newRow("level 1 denominator") << 1 << 0 << ",2,3";
        QTest::newRow("level 1 third box chosen") << 1 << 2 << "1,,3";
        QTest::newRow("level 9 all") << 9 << 1 << ",,";
        QTest::newRow("level 12 all") << 12 << 0 << ",,";
        QTest::newRow("level 15 one") << 15 << 0 << ",2,3";
        QTest::newRow("level 22 all") << 22 << 2 << ",,";
    }
    void eraseFollowsLevel()
    {
        QFETCH(int, level);
        QFETCH(int, field);
        QFETCH(QString, left);
        Harness h;
        h.st().Level = int16_t(level);
        h.form->Text1[0]->setText("1");
        h.form->Text2[0]->setText("2");
        h.form->Text3[0]->setText("3");
        h.st().ActiveField[1] = int16_t(field);
        QTest::mouseClick(h.form->Command7[0], Qt::LeftButton);
        QCOMPARE(h.form->Text1[0]->text() + "," + h.form->Text2[0]->text() + "," + h.form->Text3[0]->text(),
                 left);
    }

    void pressHitTest_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("slot");   // 0: beep
        QTest::newRow("x = 20") << 1280 << 20 << 100 << 0;
        QTest::newRow("x = 21") << 1280 << 21 << 100 << 1;
        QTest::newRow("x = 770") << 1280 << 770 << 100 << 0;
        QTest::newRow("x = 769") << 1280 << 769 << 100 << 1;
        QTest::newRow("y = 70") << 1280 << 400 << 70 << 0;
        QTest::newRow("y = 71") << 1280 << 400 << 71 << 1;
        QTest::newRow("y = 280") << 1280 << 400 << 280 << 0;
        QTest::newRow("y = 285 gap") << 1280 << 400 << 285 << 0;
        QTest::newRow("y = 291") << 1280 << 400 << 291 << 2;
        QTest::newRow("y = 499") << 1280 << 400 << 499 << 2;
        QTest::newRow("y = 505 gap") << 1280 << 400 << 505 << 0;
        QTest::newRow("y = 511") << 1280 << 400 << 511 << 3;
        QTest::newRow("y = 769 below frame") << 1280 << 400 << 769 << 3;
        QTest::newRow("slot 3 small screen") << 800 << 400 << 520 << 0;
        QTest::newRow("slot 2 small screen") << 800 << 400 << 300 << 2;
    }
    void pressHitTest()
    {
        QFETCH(int, width);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, slot);
        Harness h(width);
        h.StartLevel(2);
        h.st().CurrentSlot = 0;
        // the large panel is 741 high; press through the handler for rows below it
        h.form->Picture1_MouseDown(0, 1, 0, x, y);
        QCOMPARE(h.platform.beeps, slot == 0 ? 1 : 0);
        for (int s = 1; s <= 3; ++s) {
            QCOMPARE(h.st().Item(s, 0), s == slot ? 1 : 0);
            QCOMPARE(h.st().Item(s, 1), s == slot ? 1 : 0);
        }
        QCOMPARE(int(h.st().CurrentSlot), slot);
    }

    void startingSlotShowsItsControls()
    {
        Harness h;
        h.StartLevel(1);
        h.PressSlot(2);
        Form1& f = *h.form;
        QVERIFY(f.Text1[1]->isVisible() && f.Text2[1]->isVisible());
        QVERIFY(f.Picture6[1]->isVisible() && f.Command5[1]->isVisible());
        QVERIFY(!f.Text3[1]->isVisible());
        for (int i : {0, 2})
            QVERIFY(!f.Text1[i]->isVisible() && !f.Picture6[i]->isVisible() && !f.Command5[i]->isVisible());
        QCOMPARE(f.Text1[1]->pos(), QPoint(620, 220 + 180));
        QCOMPARE(f.Text2[1]->pos(), QPoint(620, 220 + 120));
        // a second press on the started slot changes nothing
        const QImage before = h.panel().image();
        const int k = h.Problem(2);
        h.PressSlot(2);
        QCOMPARE(h.Problem(2), k);
        QCOMPARE(h.panel().image(), before);
        QCOMPARE(h.platform.beeps, 0);
    }

    void pressKeepsBoxColoursTruthful()
    {
        Harness h;
        h.StartLevel(9);
        h.PressSlot(1);
        h.PressSlot(2);
        Form1& f = *h.form;
        // slot 1 types into its third box: a press anywhere must not grey it
        QTest::mousePress(f.Text3[0], Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(BackColor(f.Text3[0]), colours::Pink);
        h.Click(400, 100);
        h.Click(5, 5);   // outside every slot
        QCOMPARE(BackColor(f.Text3[0]), colours::Pink);
        f.Command6_Click(1);
        QCOMPARE(f.Text3[0]->text(), QStringLiteral("1"));
        // once it no longer receives digits, a press greys the panel's Text3 as before
        QTest::mousePress(f.Text1[0], Qt::LeftButton, {}, QPoint(5, 5));
        SetBackColor(f.Text3[0], Qt::white);
        h.Click(400, 320);
        QCOMPARE(BackColor(f.Text3[0]), colours::Grey);
    }

    void hintLeavesColoursTruthful()
    {
        Harness h;
        h.StartLevel(9);
        h.PressSlot(1);
        // make the problem 1/2 + 1/2 and answer 2 over 2 without the whole 1
        h.st().Item(1, 11) = 2;
        h.st().Item(1, 12) = 1;
        h.st().Item(1, 13) = 1;
        h.st().Item(1, 14) = 2;
        h.Type(1, 1, "2");
        h.Type(1, 2, "2");
        QTest::mousePress(h.form->Text3[0], Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(BackColor(h.form->Text3[0]), colours::Pink);
        h.Check(1);
        QCOMPARE(h.platform.messages, QStringList{QStringLiteral("分母と分子が同じ数のときは？")});
        QCOMPARE(h.form->Text1[0]->text(), QStringLiteral("2"));   // the boxes keep their text
        QCOMPARE(h.st().ActiveField[1], 0);
        QCOMPARE(BackColor(h.form->Text1[0]), colours::Pink);
        QCOMPARE(BackColor(h.form->Text3[0]), colours::Grey);
        h.form->Command6_Click(1);
        QCOMPARE(h.form->Text1[0]->text(), QStringLiteral("21"));
    }

    void drillRightAtOnce_data()
    {
        QTest::addColumn<int>("level");
        for (int level = 1; level <= 4; ++level)
            QTest::addRow("level %d", level) << level;
    }
    void drillRightAtOnce()
    {
        QFETCH(int, level);
        Harness h;
        h.Seed(77);
        h.StartLevel(level);
        for (int s = 1; s <= 3; ++s)
            h.PressSlot(s);
        for (int s : {3, 1, 2}) {
            const int d = h.Rec(s, 1), n = h.Rec(s, 2);
            h.Type(s, 1, QString::number(d));
            h.Type(s, 2, QString::number(n));
            h.Check(s);
            QCOMPARE(h.MarkOf(s, 1), 1);
            QCOMPARE(h.Problem(s), 2);
        }
        QCOMPARE(h.platform.beeps, 3);
        QCOMPARE(h.platform.pauses, 6);
        // the mark is gone after the pause, and the new problem's boxes are empty and pink
        for (int s = 1; s <= 3; ++s) {
            QCOMPARE(h.form->Text1[s - 1]->text(), QString());
            QCOMPARE(BackColor(h.form->Text1[s - 1]), colours::Pink);
            QCOMPARE(h.st().ActiveField[s], 0);
        }
    }

    void wrongThenRightAndThreeWrong()
    {
        Harness h;
        h.Seed(5);
        h.StartLevel(3);
        h.PressSlot(1);
        h.PressSlot(2);
        // slot 1: wrong, then right -> △
        const int d = h.Rec(1, 1), n = h.Rec(1, 2);
        h.Type(1, 1, QString::number(n));
        h.Type(1, 2, QString::number(d));   // swapped
        h.Check(1);
        QCOMPARE(h.Problem(1), 1);
        QCOMPARE(h.form->Text1[0]->text(), QString());
        QCOMPARE(h.form->Text2[0]->text(), QString());
        QCOMPARE(BackColor(h.form->Text1[0]), colours::Pink);
        QCOMPARE(BackColor(h.form->Text2[0]), colours::Grey);
        h.Type(1, 1, QString::number(d));
        h.Type(1, 2, QString::number(n));
        h.Check(1);
        QCOMPARE(h.MarkOf(1, 1), 2);
        // slot 2: three wrong -> × and a new problem
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(h.Problem(2), 1);
            h.Type(2, 1, "99");
            h.Check(2);
        }
        QCOMPARE(h.MarkOf(2, 1), 3);
        QCOMPARE(h.Problem(2), 2);
        QCOMPARE(h.Problem(1), 2);
    }

    void equalFractionInOtherTermsIsWrong()
    {
        Harness h;
        h.StartLevel(3);
        h.PressSlot(1);
        h.Rec(1, 1);
        h.st().Item(1, 11) = 2;
        h.st().Item(1, 12) = 1;
        h.Type(1, 1, "4");
        h.Type(1, 2, "2");
        h.Check(1);
        QCOMPARE(h.st().Item(1, 20), 1);   // one check counted, problem stays
        QCOMPARE(h.Problem(1), 1);
        h.form->Text1[0]->setText("2");
        h.form->Text2[0]->clear();   // empty numerator reads 0: judged, wrong
        h.Check(1);
        QCOMPARE(h.st().Item(1, 20), 2);
        h.form->Text1[0]->setText("02");
        h.form->Text2[0]->setText(" 1");
        h.Check(1);
        QCOMPARE(h.MarkOf(1, 1), 2);
    }

    void markIsWipedAfterThePause()
    {
        Harness h;
        h.StartLevel(2);
        h.PressSlot(3);
        const QRect markArea(36, 440 + 176, 60, 44);
        QCOMPARE(CountPixels(h.panel().image(), markArea, colours::White), markArea.width() * markArea.height());
        h.Type(3, 1, "99");
        h.Check(3);
        QCOMPARE(h.platform.pauses, 2);
        // nothing of the red mark is left where it stood
        for (int y = markArea.top(); y <= markArea.bottom(); ++y)
            for (int x = markArea.left(); x <= markArea.right(); ++x)
                QCOMPARE(h.panel().image().pixel(x, y) | 0xff000000u, colours::White);
    }

    void emptyDenominatorOnlyAsks()
    {
        Harness h;
        h.StartLevel(1);
        h.PressSlot(1);
        h.Type(1, 2, "1");
        h.Check(1);
        QCOMPARE(h.platform.messages, QStringList{texts::TypeAnswer});
        QCOMPARE(h.st().Item(1, 20), 0);
        QCOMPARE(h.platform.beeps, 0);
        QCOMPARE(h.form->Text2[0]->text(), QStringLiteral("1"));
    }

    void typedGarbageIsJudgedWrong_data()
    {
        QTest::addColumn<QString>("text1");
        QTest::addColumn<QString>("text2");
        QTest::newRow("blanks") << "   " << "  ";
        QTest::newRow("letters") << "abc" << "x";
        QTest::newRow("signs") << "-" << "+";
        QTest::newRow("decimal") << "2.5" << "1.0001";
        QTest::newRow("full-width") << "３" << "１";
        QTest::newRow("40 digits") << QString(40, '9') << QString(40, '1');
        QTest::newRow("negative") << "-2" << "-1";
    }
    void typedGarbageIsJudgedWrong()
    {
        QFETCH(QString, text1);
        QFETCH(QString, text2);
        Harness h;
        h.StartLevel(1);
        h.PressSlot(1);
        h.form->Text1[0]->setText(text1);
        h.form->Text2[0]->setText(text2);
        h.Check(1);
        QCOMPARE(h.st().Item(1, 20), 1);
        QCOMPARE(h.Problem(1), 1);
        QCOMPARE(h.platform.messages, QStringList{});
    }

    void scoreLine_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("problems");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first problem") << 1 << 1 << Score(1, 1, "");
        QTest::newRow("eleventh problem") << 2 << 11 << Score(2, 11, "×○△×○△×○△");
        QTest::newRow("level 22 shows 12") << 22 << 1 << "レベル12 ( 1)  せいせき：";
        QTest::newRow("level 15 shows 5") << 15 << 3 << "レベル 5 ( 3)  せいせき：△×";
    }
    void scoreLine()
    {
        QFETCH(int, level);
        QFETCH(int, problems);
        QFETCH(QString, expected);
        Harness h;
        h.StartLevel(level);
        h.PressSlot(1);
        // fill in marks of earlier problems, cycling ○ △ × from problem 1
        for (int k = 1; k < problems; ++k) {
            h.st().Item(1, k * 10 + 8) = k % 3 + 1;
            h.form->st.CurrentSlot = 1;
            h.form->NewProblem();
        }
        QCOMPARE(h.Problem(1), problems);
        // draw the same line on a fresh panel and compare the pixels of the score line
        Harness ref;
        ref.StartLevel(level);
        Surface& p = ref.panel();
        p.ForeColor = colours::Black;
        p.CurrentX = 30;
        p.CurrentY = 75;
        p.Print(expected);
        const QRect line(30, 75, 700, 34);
        QCOMPARE(h.panel().image().copy(line), p.image().copy(line));
    }

    void manyProblemsInOneSlot()
    {
        Harness h;
        h.StartLevel(1);
        h.PressSlot(1);
        for (int i = 2; i <= 150; ++i) {
            const int k = h.Problem(1);
            h.Type(1, 1, QString::number(h.Rec(1, 1)));
            h.Type(1, 2, QString::number(h.Rec(1, 2)));
            h.Check(1);
            if (k < 99) {
                QCOMPARE(h.MarkOf(1, k), 1);
                QCOMPARE(h.Problem(1), k + 1);
            } else {
                // the oldest record was dropped; the judged problem moved down a place
                QCOMPARE(h.Problem(1), 99);
                QCOMPARE(h.MarkOf(1, 98), 1);
                QCOMPARE(h.MarkOf(1, 99), 0);
            }
        }
        QCOMPARE(h.Problem(1), 99);
        // the nine problems before the current one are still there, marked right
        for (int j = 90; j <= 98; ++j)
            QCOMPARE(h.MarkOf(1, j), 1);
        QCOMPARE(h.MarkOf(1, 99), 0);
        QVERIFY(h.Rec(1, 1) >= 2 && h.Rec(1, 2) >= 1);
        // and the current problem still judges
        h.Type(1, 1, QString::number(h.Rec(1, 1)));
        h.Type(1, 2, QString::number(h.Rec(1, 2)));
        h.Check(1);
        QCOMPARE(h.MarkOf(1, 98), 1);
    }

    void finishingAskedNoKeepsEverything()
    {
        Harness h;
        h.StartLevel(2);
        h.PressSlot(1);
        h.Type(1, 1, "5");
        const QImage before = h.panel().image();
        h.platform.answers = {false};
        QTest::mouseClick(h.form->Command8[0], Qt::LeftButton);
        QCOMPARE(h.platform.messages, QStringList{texts::ConfirmFinish});
        QCOMPARE(h.panel().image(), before);
        QCOMPARE(h.form->Text1[0]->text(), QStringLiteral("5"));
        QVERIFY(h.form->Picture1[0]->isVisible());
        QCOMPARE(h.st().Item(1, 0), 1);
    }

    void finishingYesReturnsToMenu()
    {
        Harness h;
        h.StartLevel(13);   // started from the fourth-year menu ...
        h.PressSlot(2);
        h.platform.answers = {true};
        h.form->Command8_Click(1);
        Form1& f = *h.form;
        QVERIFY(f.Picture7[1]->isVisible());
        QVERIFY(!f.Picture1[1]->isVisible());
        QVERIFY(f.Command1[0]->isVisible() && f.Command1[1]->isVisible());
        QVERIFY(!f.Command1[2]->isVisible());
        for (int s = 1; s <= 3; ++s) {
            for (int i = 0; i <= 1000; ++i)
                QCOMPARE(h.st().Item(s, i), 0);
            QCOMPARE(h.st().ActiveField[s], 0);
        }
        QCOMPARE(h.st().Level, 13);
        QVERIFY(f.Option2[12]->isChecked());
        // けってい again restarts the same level at problem 1 with an empty score line
        QTest::mouseClick(f.Command10[1], Qt::LeftButton);
        h.PressSlot(2);
        QCOMPARE(h.Problem(2), 1);
    }

    void finishingHidesEverySlotControl()
    {
        Harness h;
        h.StartLevel(1);
        for (int s = 1; s <= 3; ++s)
            h.PressSlot(s);
        h.platform.answers = {true};
        h.form->Command8_Click(0);
        for (int i = 0; i < 3; ++i)
            for (QWidget* w : std::initializer_list<QWidget*>{h.form->Text1[i], h.form->Text2[i], h.form->Text3[i],
                                                              h.form->Picture6[i], h.form->Command5[i]})
                QVERIFY(w->isHidden());
        // a new exercise starts with idle slots that wait for a press
        h.StartLevel(1);
        QCOMPARE(h.st().Item(1, 0), 0);
        QVERIFY(h.form->Text1[0]->isHidden());
    }

    void checkButtonsMapToSlots_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("slot");
        QTest::newRow("Command5(0)") << 0 << 1;
        QTest::newRow("Command5(2)") << 2 << 3;
        QTest::newRow("Command5(3)") << 3 << 3;
        QTest::newRow("Command5(5)") << 5 << 1;
    }
    void checkButtonsMapToSlots()
    {
        QFETCH(int, button);
        QFETCH(int, slot);
        Harness h;
        h.StartLevel(button <= 2 ? 1 : 8);
        for (int s = 1; s <= 3; ++s)
            h.PressSlot(s);
        if (button <= 2)
            h.form->Text1[slot - 1]->setText("1");
        h.form->Command5_Click(int16_t(button));
        for (int s = 1; s <= 3; ++s)
            QCOMPARE(h.st().Item(s, 20), s == slot ? 1 : 0);
    }

    void lengthDrawingMatchesProblem()
    {
        Harness h;
        h.StartLevel(3);
        h.PressSlot(1);
        h.st().Item(1, 1) = 0;   // redraw problem 1 with d = 10 by seeding until it comes
        for (uint32_t seed = 0;; ++seed) {
            h.Seed(seed);
            h.st().Item(1, 1) = 0;
            h.form->st.CurrentSlot = 1;
            h.form->NewProblem();
            if (h.Rec(1, 1) == 10)
                break;
        }
        const int n = h.Rec(1, 2);
        const QImage& img = h.panel().image();
        // tenths of 50 px: n red cells, the rest white
        for (int i = 0; i < 10; ++i)
            QCOMPARE(img.pixel(80 + i * 50 + 25, 200) | 0xff000000u, i < n ? colours::Red : colours::White);
        for (int i = 1; i <= 10; ++i)
            QCOMPARE(img.pixel(80 + i * 50, 200) | 0xff000000u, colours::Black);
    }

    void waterDrawingMatchesProblem()
    {
        Harness h;
        h.StartLevel(4);
        h.PressSlot(2);
        const int d = h.Rec(2, 1), n = h.Rec(2, 2);
        const int y0 = 220;
        const int water = int(n * 120.0 / d);
        const QImage& img = h.panel().image();
        QCOMPARE(img.pixel(560, y0 + 229) | 0xff000000u, colours::Cyan);
        QCOMPARE(img.pixel(560, y0 + 230 - water + 1) | 0xff000000u, colours::Cyan);
        QCOMPARE(img.pixel(560, y0 + 230 - water - 2) | 0xff000000u, colours::White);
        QCOMPARE(img.pixel(480, y0 + 150) | 0xff000000u, colours::Black);
        QCOMPARE(img.pixel(600, y0 + 150) | 0xff000000u, colours::Black);
    }
};

QTEST_MAIN(AnswerFrameTest)
#include "tst_answer_frame.moc"
