// SPDX-License-Identifier: GPL-3.0-or-later
// The window, start-up, menus and finishing.
#include "shell/Texts.h"
#include "support/Harness.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

class ShellTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void layoutFollowsScreenWidth_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("large");
        QTest::newRow("999 small") << 999 << false;
        QTest::newRow("1000 large") << 1000 << true;
        QTest::newRow("800 small") << 800 << false;
        QTest::newRow("1280 large") << 1280 << true;
    }
    void layoutFollowsScreenWidth()
    {
        QFETCH(int, width);
        QFETCH(bool, large);
        Harness h(width);
        Form1& f = *h.form;
        QCOMPARE(h.st().ScreenWidthPixels, width);
        QCOMPARE(!f.Picture3[0]->isHidden(), large);
        QCOMPARE(!f.Picture3[1]->isHidden(), large);
        QCOMPARE(f.Picture1[0]->width(), large ? 1009 : 786);
        QCOMPARE(f.Picture7[0]->width(), large ? 1013 : 794);
        QCOMPARE(f.Option2[3]->y(), large ? 50 * 3 + 70 : 40 * 3 + 70);
        QCOMPARE(f.Option2[13]->y(), large ? 50 * 3 + 70 : 40 * 3 + 70);
        QCOMPARE(f.Option2[0]->x(), large ? 34 : 35);
        QCOMPARE(f.Command10[0]->x(), large ? 816 : 610);
        QCOMPARE(f.Command2[1]->x(), large ? 912 : 700);
        QCOMPARE(f.Command10[2]->x(), 816);   // the fifth-year menu is never moved
        QCOMPARE(f.size(), large ? QSize(1017, 749) : QSize(800, 574));
        QVERIFY(f.Picture7[0]->isVisibleTo(&f));
        QCOMPARE(f.Picture7[0]->pos(), QPoint(4, 54));
        QVERIFY(!f.Command1[2]->isVisibleTo(&f));
    }

    void seedComesFromMinutesAndSeconds_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<uint>("seed");
        QTest::newRow("hh:00:00") << QTime(12, 0, 0) << 0u;
        QTest::newRow("hh:59:59") << QTime(12, 59, 59) << 5959u;
        QTest::newRow("07:35:09") << QTime(7, 35, 9) << 3509u;
    }
    void seedComesFromMinutesAndSeconds()
    {
        QFETCH(QTime, time);
        QFETCH(uint, seed);
        Harness h(1280, time);
        Random expected;
        expected.Seed(seed);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(h.form->rnd.Rnd(), expected.Rnd());
    }

    void sameSecondGivesSameProblems()
    {
        Harness a(1280, QTime(8, 12, 34));
        Harness b(1280, QTime(15, 12, 34));
        for (Harness* h : {&a, &b}) {
            h->StartLevel(3);
            h->PressSlot(1);
            h->PressSlot(2);
        }
        for (int s : {1, 2})
            for (int i : {1, 2})
                QCOMPARE(a.Rec(s, i), b.Rec(s, i));
    }

    void rndStaysInUnitInterval()
    {
        Random r;
        r.Seed(5959);
        for (int i = 0; i < 100000; ++i) {
            const double v = r.Rnd();
            QVERIFY(v >= 0.0 && v < 1.0);
        }
    }

    void startWithoutLevelOnlyWarns()
    {
        Harness h;
        h.form->Command10_Click(0);
        QCOMPARE(h.platform.messages, QStringList{texts::ChooseLevelFirst});
        QCOMPARE(h.st().Level, 0);
        QVERIFY(h.form->Picture7[0]->isVisibleTo(h.form.get()));
        QVERIFY(!h.form->Picture1[0]->isVisibleTo(h.form.get()));
        QVERIFY(h.form->Command1[0]->isVisibleTo(h.form.get()));
    }

    void levelChosenInOtherMenuStarts()
    {
        Harness h;
        QTest::mouseClick(h.form->Option2[2], Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(h.st().Level, 3);
        QTest::mouseClick(h.form->Command1[1], Qt::LeftButton);
        QCOMPARE(h.st().GradeIndex, 1);
        QVERIFY(h.form->Picture7[1]->isVisibleTo(h.form.get()));
        QVERIFY(!h.form->Picture7[0]->isVisibleTo(h.form.get()));
        QCOMPARE(BackColor(h.form->Command1[1]), QColor(0xFF, 0xFF, 0xC0));
        QCOMPARE(BackColor(h.form->Command1[0]), QColor(0xC0, 0xC0, 0xFF));
        // the choice stays marked in the hidden menu
        QVERIFY(h.form->Option2[2]->isChecked());
        QTest::mouseClick(h.form->Command10[1], Qt::LeftButton);
        QCOMPARE(h.st().PanelIndex, 0);
        QVERIFY(h.form->Picture1[0]->isVisibleTo(h.form.get()));
        QCOMPARE(h.form->Picture1[0]->pos(), QPoint(8, 8));
        QVERIFY(!h.form->Picture7[1]->isVisibleTo(h.form.get()));
        for (QPushButton* b : h.form->Command1)
            QVERIFY(!b->isVisibleTo(h.form.get()));
    }

    // The record's notice: in the fourth-year menu's corner (its fullest), clear of every
    // control, gone with the menu; none leaves the window as it was.
    void recordNotice_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("large") << 1280;
        QTest::newRow("small") << 800;
    }
    void recordNotice()
    {
        QFETCH(int, width);
        Harness h(width);
        Form1& f = *h.form;
        f.Command1_Click(1);
        const QImage plain = f.grab().toImage();
        f.ShowRecordNotice(QString());
        QCOMPARE(f.grab().toImage(), plain);
        const QString line = QStringLiteral("きろく：LRS に　おくれていません（3 日）");
        f.ShowRecordNotice(line);
        QLabel* notice = f.RecordNotice[1];
        QVERIFY(notice && notice->isVisibleTo(&f) && f.Picture7[1]->rect().contains(notice->geometry()));
        QVERIFY(notice->fontMetrics().horizontalAdvance(line) <= notice->width());
        for (QWidget* w : f.Picture7[1]->findChildren<QWidget*>())
            QVERIFY(w == notice || !w->isVisibleTo(&f) || !w->geometry().intersects(notice->geometry()));
        f.Option2_Click(10);
        f.Command10_Click(1);
        QVERIFY(!notice->isVisibleTo(&f));
    }

    void quitAsksFirst()
    {
        Harness h;
        h.platform.answers = {false};
        QTest::mouseClick(h.form->Command2[0], Qt::LeftButton);
        QCOMPARE(h.platform.messages, QStringList{texts::ConfirmQuit});
        QVERIFY(!h.platform.ended);
        QVERIFY(h.form->Picture7[0]->isVisibleTo(h.form.get()));
        h.platform.answers = {true};
        h.form->Command2_Click(0);
        QVERIFY(h.platform.ended);
    }

    void panelChoiceAndFrames_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("panel");
        for (int level = 1; level <= 22; ++level) {
            const bool one = level == 5 || level == 8 || level == 13 || level == 14;
            QTest::addRow("level %d", level) << level << (one ? 1 : 0);
        }
    }
    void panelChoiceAndFrames()
    {
        QFETCH(int, level);
        QFETCH(int, panel);
        Harness h;
        h.StartLevel(level);
        QCOMPARE(int(h.st().PanelIndex), panel);
        const QImage& img = h.panel().image();
        // frames are white inside, the panel light yellow around them
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(img.pixel(400, row * 220 + 100) | 0xff000000u, colours::White);
            QCOMPARE(img.pixel(400, row * 220 + 285) | 0xff000000u, qRgb(0xFF, 0xFF, 0xC0));
        }
        // the invitation stands in each frame
        for (int row = 0; row < 3; ++row)
            QVERIFY(CountPixels(img, QRect(40, row * 220 + 155, 300, 32), colours::White) < 300 * 32);
        for (QPushButton* b : h.form->Command5)
            QVERIFY(!b->isVisibleTo(h.form.get()));
    }

    void smallScreenFramesTwoRows()
    {
        Harness h(800);
        // paint row 3 of panel 0 in a colour a frame would cover
        h.form->Picture1[0]->FilledBox(20, 510, 750, 210, colours::Red);
        h.StartLevel(1);
        const QImage& img = h.panel().image();
        QCOMPARE(img.height(), 530);
        QCOMPARE(img.pixel(400, 100) | 0xff000000u, colours::White);
        QCOMPARE(img.pixel(400, 320) | 0xff000000u, colours::White);
        QCOMPARE(img.pixel(400, 520) | 0xff000000u, colours::Red);
        // and slot 3 cannot be started: a press there beeps
        h.Click(400, 520);
        QCOMPARE(h.platform.beeps, 1);
        QCOMPARE(h.st().Item(3, 0), 0);
    }

    void fixedTexts()
    {
        Harness h;
        Form1& f = *h.form;
        QCOMPARE(f.windowTitle(), QStringLiteral("ポロメ Ver1.0.1"));
        const QStringList names{
            "L01 三分の一　長さは、何ｍですか？　　　 (分母　６まで）",
            "L02 三分の一　水のかさは、いくらですか？（分母　６まで）",
            "L03 三分の一　長さは、何ｍですか？　　　（分母　１０まで）",
            "L04 三分の一　水のかさは、いくらですか？（分母　１０まで）",
            "L05 三分の一の長さをぬりましょう。　　　 (分母　８まで）",
            "L06 三分の一　数直線のあたいを読みましょう。",
            "L07 ？分の？＝１",
            "L08 どちらが　大きい？　（同分母分数）",
            "L09 分数のたし算　　　　（同分母分数）",
            "L10 分数の引き算　　　　（同分母分数）",
            "L01 水のかさは、何リットルですか？",
            "L02 数直線のあたいを読みましょう。",
            "L03 どちらが、大きいですか？",
            "L04 分数の名前を言いましょう。",
            "L05 帯分数を仮分数になおしましょう。",
            "L06 仮分数を帯分数になおしましょう。",
            "L07 足し算（真分数 ＋ 真分数）",
            "L08 足し算（帯分数 ＋ 真分数または帯分数）",
            "L09 引き算（真分数または仮分数 － 真分数または仮分数）",
            "L10 引き算（帯分数 － 帯分数）　その１",
            "L11 引き算（帯分数 － 真分数）",
            "L12 引き算（帯分数 － 帯分数）　その２",
        };
        for (int i = 0; i < 22; ++i) {
            QCOMPARE(f.Option2[i]->text(), names[i]);
            QCOMPARE(f.Option2[i]->parentWidget(), f.Picture7[i < 10 ? 0 : 1]);
        }
        QCOMPARE(f.Command1[0]->text(), QStringLiteral("３年生"));
        QCOMPARE(f.Command1[1]->text(), QStringLiteral("４年生"));
        QCOMPARE(f.Command1[2]->text(), QStringLiteral("５年生"));
        QCOMPARE(f.Label2[0]->text(), QStringLiteral("【ポロメ:３年生】　どれをれんしゅうしますか。えらんでください。"));
        QCOMPARE(f.Label2[1]->text(), QStringLiteral("【ポロメ:４年生】　どれをれんしゅうしますか。えらんでください。"));
        for (int g = 0; g < 3; ++g) {
            QCOMPARE(f.Command10[g]->text(), QStringLiteral("けってい"));
            QCOMPARE(f.Command2[g]->text(), QStringLiteral("おわり"));
        }
        for (int p = 0; p < 2; ++p) {
            QCOMPARE(f.Label1[p]->text(), QStringLiteral("つぎの問だいをしましょう。"));
            QCOMPARE(f.Command8[p]->text(), QStringLiteral("終わる"));
        }
        for (QPushButton* b : f.Command5)
            QCOMPARE(b->text(), QStringLiteral("ﾁｪｯｸ"));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(f.Command3[i]->text(), QStringLiteral("真分数"));
            QCOMPARE(f.Command4[i]->text(), QStringLiteral("仮分数"));
            QCOMPARE(f.Command9[i]->text(), QStringLiteral("帯分数"));
            QCOMPARE(f.Command7[i]->text(), QStringLiteral("けす"));
        }
        // keypad captions: button i of keypad k shows i-10k on keypad 0, 10k+9-i otherwise
        for (int i = 0; i < 30; ++i) {
            const int k = i / 10;
            QCOMPARE(f.Command6[i]->text().toInt(), k == 0 ? i : 10 * k + 9 - i);
            QCOMPARE(f.Command6[i]->parentWidget(), f.Picture6[k]);
            QCOMPARE(f.Command6[i]->x(), (k == 0 ? i : 10 * k + 9 - i) * 36);
        }
        // the check buttons of panel 1 run bottom-up
        QCOMPARE(f.Command5[5]->y(), 220);
        QCOMPARE(f.Command5[3]->y(), 660);
        QCOMPARE(f.Command5[5]->parentWidget(), f.Picture1[1]);
        QCOMPARE(f.Command5[0]->parentWidget(), f.Picture1[0]);
    }

    void fontsAreJapaneseAtPixelSizes()
    {
        Harness h;
        QCOMPARE(h.form->Command1[0]->font().pixelSize(), 35);
        QCOMPARE(h.form->Picture1[0]->font().pixelSize(), 32);
        QCOMPARE(h.form->Option2[0]->font().pixelSize(), 21);
        const QFontInfo info(h.form->Picture1[0]->font());
        QVERIFY2(info.family().startsWith("IPA") && !info.family().contains("明朝") && !info.family().contains("Mincho"),
                 qPrintable(info.family()));
        const QFontInfo mincho(h.form->Command1[0]->font());
        QVERIFY2(mincho.family().contains("Mincho") || mincho.family().contains("明朝"), qPrintable(mincho.family()));
    }
};

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
