// SPDX-License-Identifier: GPL-3.0-or-later
// The window of the web page: the scale for a page size, presses landing on the form's own
// pixels at any page size, and the closing screen after おわり with its way back.
#include "drawing/Surface.h"
#include "shell/PagePlatform.h"
#include "shell/PageWindow.h"
#include "shell/Texts.h"
#include "support/Harness.h"

#include <QGraphicsView>
#include <QPushButton>
#include <QTest>

#include <cmath>

namespace {
struct CountedTone final : PageSound
{
    int tones = 0;
    void Tone() override { ++tones; }
};
} // namespace

class PageWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void pageFactor_data()
    {
        QTest::addColumn<QSize>("page");
        QTest::addColumn<double>("factor");
        QTest::newRow("Chromebook, larger") << QSize(1366, 768) << 1.0;
        QTest::newRow("exactly the form") << QSize(1017, 749) << 1.0;
        QTest::newRow("a pixel too narrow") << QSize(1016, 749) << 0.999;
        QTest::newRow("too low") << QSize(1366, 700) << 0.934;
        QTest::newRow("iPad upright") << QSize(768, 1024) << 0.755;
        QTest::newRow("tiny") << QSize(100, 80) << 0.25;
    }
    void pageFactor()
    {
        QFETCH(QSize, page);
        QFETCH(double, factor);
        QCOMPARE(windowscale::PageFactor(QSize(1017, 749), page), factor);
    }

    // A press at a page pixel reaches the form pixel under it, centred at a scale of 1 and
    // scaled down on a smaller page, and again after the page changes size.
    void pressesLandOnTheFormsPixels()
    {
        Surface* form = nullptr;
        PageWindow page([&form] {
            auto s = std::make_unique<Surface>();
            s->resizeImage(1017, 749);
            form = s.get();
            return std::unique_ptr<QWidget>(std::move(s));
        });
        QPointF delivered(-1, -1);
        QObject::connect(form, &Surface::mouseDown, [&](int, int, double x, double y) { delivered = {x, y}; });
        page.resize(1366, 768);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const struct
        {
            QSize size;
            double factor;
        } steps[] = {{{1366, 768}, 1.0}, {{1024, 700}, 0.934}, {{768, 1024}, 0.755}, {{1600, 900}, 1.0}};
        for (const auto& step : steps) {
            page.resize(step.size);
            QCoreApplication::processEvents();
            QCOMPARE(page.scale(), step.factor);
            if (page.view()) {
                // the scaled form stands in the middle of the page
                const QPoint corner = page.view()->mapFromScene(QPointF(0, 0));
                QVERIFY(std::abs(corner.x() - (step.size.width() - 1017 * step.factor) / 2) <= 1);
                QVERIFY(std::abs(corner.y() - (step.size.height() - 749 * step.factor) / 2) <= 1);
            }
            for (const QPoint p : {QPoint(1, 2), QPoint(508, 374), QPoint(1015, 747)}) {
                const QPoint pixel = page.view() ? page.view()->mapFromScene(QPointF(p) + QPointF(0.25, 0.25))
                                                 : form->mapTo(&page, p);
                if (!page.view() && step.size.width() >= 1017) {
                    // scale 1 without the view: the form stands in the middle of the page
                    QCOMPARE(form->pos(), QPoint((step.size.width() - 1017) / 2, (step.size.height() - 749) / 2));
                }
                QVERIFY(page.rect().contains(pixel));
                // Scaled down, a page pixel covers parts of two form pixels: the press goes to
                // the one under its top-left corner, as the view maps it.
                QPointF expected(p);
                if (page.view()) {
                    const QPointF scene = page.view()->mapToScene(pixel);
                    expected = QPointF(std::floor(scene.x()), std::floor(scene.y()));
                    QVERIFY(std::abs(expected.x() - p.x()) <= 1 && std::abs(expected.y() - p.y()) <= 1);
                }
                QTest::mousePress(page.windowHandle(), Qt::LeftButton, {}, pixel);
                QTest::mouseRelease(page.windowHandle(), Qt::LeftButton, {}, pixel);
                QCOMPARE(delivered, expected);
            }
        }
    }

    // おわり → はい shows the closing screen; もういちど brings a new form at its menu.
    void closingScreenStartsAgain()
    {
        ScriptedPlatform scripted;
        CountedTone tone;
        PageWindow* pagePtr = nullptr;
        PagePlatform platform(scripted, tone, [&] { pagePtr->showClosing(); });
        Form1* current = nullptr;
        int made = 0;
        PageWindow page([&] {
            auto form = std::make_unique<Form1>(platform, nullptr, Form1::Build::MenuFirst);
            form->Form_Load();
            current = form.get();
            ++made;
            return std::unique_ptr<QWidget>(std::move(form));
        });
        pagePtr = &page;
        page.resize(1024, 700);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QCOMPARE(current->size(), QSize(1017, 749));   // the large layout, three slots

        scripted.answers = {false};
        current->Command2_Click(0);
        QVERIFY(!page.closingScreen().isVisible());
        scripted.answers = {true};
        current->Command2_Click(0);
        QCOMPARE(scripted.messages, QStringList({texts::ConfirmQuit, texts::ConfirmQuit}));
        QVERIFY(page.closingScreen().isVisible());
        QVERIFY(!page.view()->isVisible());
        QVERIFY(!scripted.ended);

        QTest::mouseClick(&page.againButton(), Qt::LeftButton);
        QCOMPARE(made, 2);
        QVERIFY(!page.closingScreen().isVisible());
        QVERIFY(page.view()->isVisible());
        QCOMPARE(&page.form(), static_cast<QWidget*>(current));
        QVERIFY(current->Command1[0]->isVisible());
        QCOMPARE(page.scale(), 0.934);
    }

    // Where the desktop beeps, the page asks its own sound for a tone: a press outside every
    // slot and the mark of a check; the platform it wraps is never asked to beep.
    void beepIsThePagesTone()
    {
        ScriptedPlatform scripted;
        CountedTone tone;
        PagePlatform platform(scripted, tone, [] {});
        Form1 form(platform);
        form.Form_Load();
        form.Command1_Click(0);
        form.Option2[0]->click();
        form.Command10_Click(0);
        QTest::mousePress(form.Picture1[0], Qt::LeftButton, {}, QPoint(10, 100));
        QCOMPARE(tone.tones, 1);
        QTest::mousePress(form.Picture1[0], Qt::LeftButton, {}, QPoint(760, 90));
        QCOMPARE(tone.tones, 1);
        form.Text1[0]->setText("99");
        form.Command5_Click(0);
        QCOMPARE(tone.tones, 2);
        QCOMPARE(scripted.pauses, 2);
        QCOMPARE(scripted.beeps, 0);
    }
};

QTEST_MAIN(PageWindowTest)
#include "tst_page_window.moc"
