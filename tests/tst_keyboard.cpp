// SPDX-License-Identifier: GPL-3.0-or-later
// The keyboard on the answer boxes, through the real window: digits go where the keypad's
// go, Enter checks, Tab and Shift+Tab move the pink box. On the page the same, through its
// scaling view, and keys and presses made in the pause after a mark wait until it is over.
#include "shell/PagePlatform.h"
#include "shell/PageWindow.h"
#include "shell/Texts.h"
#include "support/Harness.h"

#include <QApplication>
#include <QGraphicsView>
#include <QTest>

namespace {

struct CountedTone final : PageSound
{
    int tones = 0;
    void Tone() override { ++tones; }
};

// The desktop's window as the tests' harness makes it, or the page's, on a page smaller
// than the form so that keys pass through the scaling view.
struct Window
{
    explicit Window(bool onPage)
    {
        PrepareTestApplication();
        if (!onPage) {
            desktop = std::make_unique<Harness>();
            form = desktop->form.get();
            top = form;
        } else {
            pagePlatform = std::make_unique<PagePlatform>(pageScripted, tone, [] {});
            page = std::make_unique<PageWindow>([this] {
                auto f = std::make_unique<Form1>(*pagePlatform);
                f->Form_Load();
                form = f.get();
                return std::unique_ptr<QWidget>(std::move(f));
            });
            page->resize(1024, 700);
            page->show();
            top = page.get();
        }
        top->activateWindow();
    }
    ScriptedPlatform& scripted() { return desktop ? desktop->platform : pageScripted; }
    int sounds() { return desktop ? desktop->platform.beeps : tone.tones; }

    std::unique_ptr<Harness> desktop;
    ScriptedPlatform pageScripted;
    CountedTone tone;
    std::unique_ptr<PagePlatform> pagePlatform;
    std::unique_ptr<PageWindow> page;
    Form1* form = nullptr;
    QWidget* top = nullptr;
};

// Types keys written as words: numbers, Tab, Backtab (Shift+Tab) and Enter; Check is a
// press of slot s's ﾁｪｯｸ. On the desktop keys go to the widget with the keyboard focus (or
// nowhere, to the window, when none has it); on the page keys and the press go to the
// page's window at once, as a browser hands them over.
void TypeKeys(Window& w, int s, const QString& keys)
{
    for (const QString& word : keys.split(u' ', Qt::SkipEmptyParts)) {
        if (word == "Check") {
            QPushButton* check = w.form->Command5[s - 1];
            const QPoint onForm = check->mapTo(w.form, check->rect().center());
            const QPoint onPage = w.page->view()->mapTo(w.page.get(), w.page->view()->mapFromScene(onForm));
            QTest::mouseClick(w.top->windowHandle(), Qt::LeftButton, {}, onPage);
            continue;
        }
        const Qt::Key key = word == "Tab" ? Qt::Key_Tab : word == "Backtab" ? Qt::Key_Backtab
                          : word == "Enter" ? Qt::Key_Return : Qt::Key_unknown;
        const Qt::KeyboardModifiers shift = key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier;
        if (w.page) {
            QWindow* window = w.top->windowHandle();
            if (key != Qt::Key_unknown)
                QTest::keyClick(window, key, shift);
            else
                for (QChar c : word)
                    QTest::keyClick(window, char(c.toLatin1()));
            continue;
        }
        QWidget* to = QApplication::focusWidget() ? QApplication::focusWidget() : w.top;
        if (key != Qt::Key_unknown)
            QTest::keyClick(to, key, shift);
        else
            QTest::keyClicks(to, word);
    }
}

} // namespace

class KeyboardTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void keysFollowThePinkBox_data()
    {
        QTest::addColumn<bool>("page");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QList<int>>("record");   // items 1.. of the slot's first problem
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("inPause");     // typed (or pressed) in the first pause after a mark
        QTest::addColumn<int>("checks");          // checks of the first problem
        QTest::addColumn<int>("mark");            // its final mark, 0 while it stays
        QTest::addColumn<int>("focus");           // the box, pink and with the focus, at the end
        QTest::addColumn<QString>("text1");
        QTest::addColumn<int>("sounds");
        QTest::addColumn<int>("messages");

        const QList<int> fifths{5, 3};   // 3/5: Text1 5, Text2 3
        QTest::newRow("right, Tab to the numerator") << false << 1 << 1 << fifths << "5 Tab 3 Enter" << ""
                                                     << 1 << 1 << 0 << "" << 1 << 0;
        QTest::newRow("wrong, the boxes empty, Text1 again") << false << 1 << 1 << fifths << "3 Tab 5 Enter" << ""
                                                             << 1 << 0 << 0 << "" << 1 << 0;
        QTest::newRow("slot 2, Shift+Tab back") << false << 1 << 2 << fifths << "Tab 3 Backtab 5 Enter" << ""
                                                << 1 << 1 << 0 << "" << 1 << 0;
        QTest::newRow("slot 3, Tab past the last box") << false << 1 << 3 << fifths << "Tab Tab 5 Tab 3 Enter" << ""
                                                       << 1 << 1 << 0 << "" << 1 << 0;
        QTest::newRow("Enter on an empty Text1 asks") << false << 1 << 1 << fifths << "Tab 3 Enter" << ""
                                                      << 0 << 0 << 1 << "" << 0 << 1;
        QTest::newRow("three wrong Enters") << false << 1 << 1 << fifths << "1 Enter 2 Enter 4 Enter" << ""
                                            << 3 << 3 << 0 << "" << 3 << 0;
        QTest::newRow("one box: Tab stays") << false << 7 << 1 << QList<int>{4, 0} << "Tab 4 Enter" << ""
                                            << 1 << 1 << 0 << "" << 1 << 0;
        // 1 2/5 L: the whole part in Text1, the denominator in Text2, the numerator in Text3
        QTest::newRow("level 11, whole part") << false << 11 << 1 << QList<int>{5, 2, 1} << "1 Tab 5 Tab 2 Enter"
                                              << "" << 1 << 1 << 0 << "" << 1 << 0;
        QTest::newRow("level 11, Shift+Tab round") << false << 11 << 2 << QList<int>{5, 2, 1}
                                                   << "Backtab 2 Backtab 5 Backtab 1 Enter" << "" << 1 << 1 << 0
                                                   << "" << 1 << 0;
        // 3 5/7 − 1 2/7 = 2 3/7: the denominator in Text1, the numerator in Text2, the whole in Text3
        QTest::newRow("level 20, whole part") << false << 20 << 1 << QList<int>{7, 5, 2, 3, 1} << "7 Tab 3 Tab 2 Enter"
                                              << "" << 1 << 1 << 0 << "" << 1 << 0;
        QTest::newRow("page: right") << true << 1 << 1 << fifths << "5 Tab 3 Enter" << "" << 1 << 1 << 0 << "" << 1
                                     << 0;
        QTest::newRow("page: level 20") << true << 20 << 3 << QList<int>{7, 5, 2, 3, 1} << "Tab Tab 2 Tab 7 Tab 3 Enter"
                                        << "" << 1 << 1 << 0 << "" << 1 << 0;
        QTest::newRow("page: a digit in the pause, once, in the new pink box")
            << true << 1 << 1 << fifths << "9 Enter" << "4" << 1 << 0 << 0 << "4" << 1 << 0;
        QTest::newRow("page: an answer in the pause is the next check")
            << true << 1 << 2 << fifths << "3 Tab 5 Enter" << "5 Tab 3 Enter" << 2 << 2 << 0 << "" << 2 << 0;
        QTest::newRow("page: Enter in the pause checks again after it")
            << true << 1 << 1 << fifths << "9 Enter" << "8 Enter" << 2 << 0 << 0 << "" << 2 << 0;
        // after the pause Text1 is empty again: the press that waited only asks
        QTest::newRow("page: a press on ﾁｪｯｸ in the pause, after it")
            << true << 1 << 2 << fifths << "9 Enter" << "Check" << 1 << 0 << 0 << "" << 1 << 1;
        QTest::newRow("page: a key, then a press, in the pause, in order")
            << true << 1 << 3 << fifths << "9 Enter" << "7 Check" << 2 << 0 << 0 << "" << 2 << 0;
    }
    void keysFollowThePinkBox()
    {
        QFETCH(bool, page);
        QFETCH(int, level);
        QFETCH(int, slot);
        QFETCH(QList<int>, record);
        QFETCH(QString, keys);
        QFETCH(QString, inPause);
        QFETCH(int, checks);
        QFETCH(int, mark);
        QFETCH(int, focus);
        QFETCH(QString, text1);
        QFETCH(int, sounds);
        QFETCH(int, messages);

        Window w(page);
        QVERIFY(QTest::qWaitForWindowActive(w.top));
        Form1& f = *w.form;
        AppState& st = f.st;
        const int i = slot - 1;
        const std::array<QLineEdit*, 3> boxes{f.Text1[i], f.Text2[i], f.Text3[i]};

        const int grade = level <= 10 ? 0 : 1;
        f.Command1_Click(int16_t(grade));
        f.Option2[level - 1]->click();
        f.Command10_Click(int16_t(grade));
        QTest::mousePress(f.Picture1[st.PanelIndex], Qt::LeftButton, {}, QPoint(760, i * 220 + 90));
        QVERIFY(boxes[0]->hasFocus());   // the slot's first box, pink, takes the keys
        for (int item = 0; item < record.size(); ++item)
            st.Item(slot, 11 + item) = record[item];

        // Only the first pause's keys; text1 in the pause is what the check read.
        QString beforeKeys, afterKeys;
        w.scripted().duringPause = [&] {
            if (inPause.isEmpty() || !beforeKeys.isNull())
                return;
            beforeKeys = boxes[0]->text();
            TypeKeys(w, slot, inPause);
            afterKeys = boxes[0]->text();
        };
        TypeKeys(w, slot, keys);
        for (int turn = 0; turn < 100; ++turn)
            QCoreApplication::processEvents();

        QCOMPARE(beforeKeys, afterKeys);   // nothing typed in the pause reached the boxes then
        QCOMPARE(st.Item(slot, 20), checks);
        QCOMPARE(st.Item(slot, 18), mark);
        QCOMPARE(st.Item(slot, 1), mark == 0 ? 1 : 2);
        QCOMPARE(st.ActiveField[slot], focus);
        QVERIFY(boxes[focus]->hasFocus());
        QCOMPARE(BackColor(boxes[focus]), colours::Pink);
        QCOMPARE(boxes[0]->text(), text1);
        QCOMPARE(w.sounds(), sounds);
        QCOMPARE(w.scripted().beeps, page ? 0 : sounds);
        QCOMPARE(w.scripted().messages.size(), messages);
        if (messages > 0)
            QCOMPARE(w.scripted().messages.front(), texts::TypeAnswer);
        // the other slots are not touched
        for (int other = 1; other <= 3; ++other)
            if (other != slot)
                QCOMPARE(st.Item(other, 0), 0);
    }
};

QTEST_MAIN(KeyboardTest)
#include "tst_keyboard.moc"
