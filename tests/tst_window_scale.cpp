// SPDX-License-Identifier: GPL-3.0-or-later
// Scaling the window: the scale chosen for a screen, presses at scaled positions, the sharp
// picture of a scaled panel, and the menu entries of the small layout.
#include "shell/ScaledWindow.h"
#include "shell/WindowScale.h"
#include "support/Harness.h"

#include <QPainter>
#include <QTest>
#include <QGraphicsView>

#include <cmath>

using windowscale::Request;
Q_DECLARE_METATYPE(Request::Kind)

namespace {

Request Ask(const QString& text)
{
    return windowscale::Parse(text).value();
}

// The form inside a scaled window, as the program shows it (never a window of its own), with
// a level started and the random source seeded.
struct ScaledForm
{
    ScriptedPlatform platform;
    Form1 form{platform};
    std::unique_ptr<ScaledWindow> window;
    ScaledForm(int level, double factor, uint32_t seed)
    {
        platform.clock = QTime(10, 0, 0);
        form.Form_Load();
        window = std::make_unique<ScaledWindow>(form, Request{});
        window->fixScale(factor);
        window->show();
        const int grade = level <= 10 ? 0 : 1;
        form.Command1_Click(int16_t(grade));
        form.Option2_Click(int16_t(level - 1));
        form.Command10_Click(int16_t(grade));
        form.rnd.Seed(seed);
    }
    AppState& st() { return form.st; }
    Surface& panel() { return *form.Picture1[form.st.PanelIndex]; }
    int Problem(int s) { return form.st.Item(s, 1); }
    int Rec(int s, int i) { return form.st.Item(s, form.st.Item(s, 1) * 10 + i); }
    QImage shown()
    {
        return window->view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

} // namespace

class WindowScaleTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void parses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<Request::Kind>("kind");
        QTest::addColumn<double>("factor");
        using K = Request::Kind;
        QTest::newRow("nothing") << "" << true << K::Default << 1.0;
        QTest::newRow("fit") << "fit" << true << K::Fit << 1.0;
        QTest::newRow("Fit") << "Fit" << true << K::Fit << 1.0;
        QTest::newRow("1.5") << "1.5" << true << K::Factor << 1.5;
        QTest::newRow("2") << "2" << true << K::Factor << 2.0;
        QTest::newRow("smallest") << "0.25" << true << K::Factor << 0.25;
        QTest::newRow("largest") << "8" << true << K::Factor << 8.0;
        QTest::newRow("zero") << "0" << false << K::Default << 0.0;
        QTest::newRow("negative") << "-1" << false << K::Default << 0.0;
        QTest::newRow("too small") << "0.2" << false << K::Default << 0.0;
        QTest::newRow("too large") << "8.5" << false << K::Default << 0.0;
        QTest::newRow("absurd") << "1e9" << false << K::Default << 0.0;
        QTest::newRow("word") << "abc" << false << K::Default << 0.0;
        QTest::newRow("comma") << "1,5" << false << K::Default << 0.0;
        QTest::newRow("percent") << "150%" << false << K::Default << 0.0;
        QTest::newRow("nan") << "nan" << false << K::Default << 0.0;
        QTest::newRow("inf") << "inf" << false << K::Default << 0.0;
    }
    void parses()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(Request::Kind, kind);
        QFETCH(double, factor);
        QString error;
        const auto r = windowscale::Parse(text, &error);
        QCOMPARE(r.has_value(), valid);
        if (valid) {
            QCOMPARE(r->kind, kind);
            QCOMPARE(r->factor, factor);
        } else {
            // one line that names what was given
            QVERIFY(!error.contains('\n'));
            QVERIFY2(error.contains("'" + text + "'"), qPrintable(error));
        }
    }

    // The form as laid out for the screen's width, its frame and the area left by panels.
    void choosesScaleForScreen_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<int>("panel");
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<QString>("ask");
        QTest::addColumn<double>("expected");
        const QMargins frame(4, 32, 4, 4);
        QTest::newRow("1366x768, 40-px panel") << QSize(1366, 768) << 40 << frame << "" << 0.923;
        QTest::newRow("1366x768, bare") << QSize(1366, 768) << 0 << QMargins() << "" << 1.0;
        QTest::newRow("1024x600") << QSize(1024, 600) << 0 << frame << "" << 0.753;
        QTest::newRow("1024x600, no frame") << QSize(1024, 600) << 0 << QMargins() << "" << 0.801;
        QTest::newRow("1000x800 narrowest large") << QSize(1000, 800) << 0 << frame << "" << 0.975;
        QTest::newRow("800x600 small") << QSize(800, 600) << 0 << frame << "" << 0.982;
        QTest::newRow("800x600 small, no frame") << QSize(800, 600) << 0 << QMargins() << "" << 1.0;
        QTest::newRow("1280x1024") << QSize(1280, 1024) << 0 << frame << "" << 1.0;
        QTest::newRow("1920x1080") << QSize(1920, 1080) << 40 << frame << "" << 1.0;
        QTest::newRow("1920x1080 at 1.2") << QSize(1920, 1080) << 40 << frame << "1.2" << 1.2;
        QTest::newRow("1920x1080 at 1.5 is held to fit") << QSize(1920, 1080) << 0 << frame << "1.5" << 1.393;
        QTest::newRow("1920x1080 fit") << QSize(1920, 1080) << 0 << frame << "fit" << 1.393;
        QTest::newRow("1920x1080 fit, panel") << QSize(1920, 1080) << 40 << frame << "fit" << 1.340;
        QTest::newRow("3840x2160 fit") << QSize(3840, 2160) << 0 << frame << "fit" << 2.835;
        QTest::newRow("1366x768 at 0.5") << QSize(1366, 768) << 40 << frame << "0.5" << 0.5;
        QTest::newRow("640x480 small fit") << QSize(640, 480) << 0 << frame << "fit" << 0.773;
    }
    void choosesScaleForScreen()
    {
        QFETCH(QSize, screen);
        QFETCH(int, panel);
        QFETCH(QMargins, frame);
        QFETCH(QString, ask);
        QFETCH(double, expected);
        Harness h(screen.width());
        const QSize client = h.form->size();
        const QSize available(screen.width(), screen.height() - panel);
        const double f = windowscale::Choose(Ask(ask), client, frame, available);
        QCOMPARE(f, expected);
        // the window with its frame lies wholly inside the available area
        const QSize scaled = windowscale::ScaledSize(client, f);
        QVERIFY(scaled.width() + frame.left() + frame.right() <= available.width());
        QVERIFY(scaled.height() + frame.top() + frame.bottom() <= available.height());
    }

    void fullScreenFills_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<double>("expected");
        QTest::newRow("1920x1080") << QSize(1920, 1080) << 1.441;
        QTest::newRow("1366x768") << QSize(1366, 768) << 1.025;
        QTest::newRow("1024x600") << QSize(1024, 600) << 0.801;
        QTest::newRow("800x600 small") << QSize(800, 600) << 1.0;
    }
    void fullScreenFills()
    {
        QFETCH(QSize, screen);
        QFETCH(double, expected);
        Harness h(screen.width());
        const double f = windowscale::FullScreenFactor(h.form->size(), screen);
        QCOMPARE(f, expected);
        const QSize scaled = windowscale::ScaledSize(h.form->size(), f);
        // one side meets the screen's edges within a pixel or two, neither goes beyond
        QVERIFY(scaled.width() <= screen.width() && scaled.height() <= screen.height());
        QVERIFY(screen.width() - scaled.width() <= 2 || screen.height() - scaled.height() <= 2);
    }

    // A press at a screen pixel of a scaled window reaches the slot and the cell that a press
    // at the same window pixel reaches unscaled: the colouring tape of level 5 turns red
    // pixel for pixel alike.
    void scaledPressesReachTheSameCell_data()
    {
        QTest::addColumn<double>("factor");
        QTest::newRow("1024x600: 0.767") << 0.767;
        QTest::newRow("1366x768: 0.923") << 0.923;
        QTest::newRow("1.408") << 1.408;
        QTest::newRow("1.5") << 1.5;
        QTest::newRow("2") << 2.0;
    }
    void scaledPressesReachTheSameCell()
    {
        QFETCH(double, factor);
        Harness plain;
        plain.StartLevel(5);
        plain.Seed(7);
        ScaledForm scaled(5, factor, 7);
        ScaledWindow& window = *scaled.window;
        Form1& form = scaled.form;
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The press reaches the panel, which stands at (8, 8) in the form, at the form pixel
        // under the screen pixel, as a whole pixel; an unscaled press there must do exactly
        // the same.
        QPointF delivered(-1, -1);
        QObject::connect(form.Picture1[1], &Surface::mouseDown,
                         [&](int, int, double x, double y) { delivered = {x, y}; });
        QWidget* screen = window.view()->viewport();
        auto press = [&](QPoint onPanel) {
            const QPoint pixel = window.view()->mapFromScene(QPointF(onPanel + QPoint(8, 8)));
            QTest::mousePress(screen, Qt::LeftButton, {}, pixel);
            QTest::mouseRelease(screen, Qt::LeftButton, {}, pixel);
            const QPointF under = window.view()->mapToScene(pixel) - QPointF(8, 8);
            QVERIFY2(std::abs(delivered.x() - under.x()) < 1 && std::abs(delivered.y() - under.y()) < 1,
                     qPrintable(QStringLiteral("%1,%2 for %3,%4").arg(delivered.x()).arg(delivered.y())
                                    .arg(under.x()).arg(under.y())));
            QCOMPARE(delivered, QPointF(delivered.toPoint()));
            plain.Click(int(delivered.x()), int(delivered.y()));
        };
        press({760, 90});    // slot 1
        press({760, 530});   // slot 3
        press({760, 283});   // between slots 1 and 2: a beep
        QCOMPARE(scaled.platform.beeps, plain.platform.beeps);
        QCOMPARE(scaled.Problem(1), 1);
        QCOMPARE(scaled.Problem(3), 1);
        QCOMPARE(scaled.Problem(2), 0);
        const int d = scaled.Rec(1, 1);
        QCOMPARE(plain.Rec(1, 1), d);
        for (int i = 0; i < d; i += 2) {
            press({int(80 + (i + 0.5) * 500 / d), 242});
            QCOMPARE(scaled.panel().image(), plain.panel().image());
        }
        QVERIFY(CountPixels(scaled.panel().image(), QRect(80, 230, 500, 26), colours::Red) > 0);
        // next to a divider, where a scaled press may fall on either side: alike again
        press({int(80 + 500 / d), 242});
        QCOMPARE(scaled.panel().image(), plain.panel().image());
        for (int item = 0; item <= 30; ++item)
            QCOMPARE(scaled.st().Item(1, item), plain.st().Item(1, item));
    }

    // A scaled panel shows a picture at the screen's resolution: lines and filled areas at
    // the scaled places, the fill meeting its border without a gap, and the same picture
    // whether it was drawn before the panel was scaled or after.
    void scaledPanelIsSharp_data()
    {
        QTest::addColumn<double>("f");
        QTest::newRow("1.5") << 1.5;
        QTest::newRow("0.75") << 0.75;
    }
    void scaledPanelIsSharp()
    {
        QFETCH(double, f);
        auto draw = [](Surface& s) {
            s.FillStyle = 1;
            s.Box(20, 20, 60, 40, colours::Black);
            s.Line(50, 20, 0, 40, colours::Black);
            s.FillStyle = 0;
            s.FillColor = colours::Red;
            s.FloodFill(30, 30, colours::Black);
            s.ForeColor = colours::Black;
            s.CurrentX = 100;
            s.CurrentY = 10;
            s.Print(QStringLiteral("１２"));
        };
        Surface before, after;
        for (Surface* s : {&before, &after}) {
            QPalette pal;
            pal.setColor(QPalette::Window, Qt::white);
            s->setPalette(pal);
            s->resizeImage(200, 100);
        }
        draw(before);
        const QImage plain = before.image();
        ScaledWindow a(before, {}), b(after, {});
        for (ScaledWindow* w : {&a, &b}) {
            w->fixScale(f);
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
        }
        draw(after);
        QCOMPARE(after.image(), plain);   // the window pixels are untouched by the scale
        const QImage shown = a.view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), QSize(int(200 * f), int(100 * f)));
        QCOMPARE(shown, b.view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32));
        auto at = [&](double x, double y) { return shown.pixel(int(x * f), int(y * f)) | 0xff000000u; };
        QCOMPARE(at(20.2, 20.2), colours::Black);   // the box's corner
        QCOMPARE(at(30, 30), colours::Red);
        QCOMPARE(at(50.2, 40), colours::Black);     // the divider
        QCOMPARE(at(40, 40), colours::Red);
        QCOMPARE(at(60, 40), colours::White);       // beyond the divider
        // across the left border and the first cell: black, then red, never white
        for (int x = int(20 * f); x < int(50 * f); ++x)
            QVERIFY2((shown.pixel(x, int(40 * f)) | 0xff000000u) != colours::White, qPrintable(QString::number(x)));
        // the text is drawn from glyphs at the screen's size, not enlarged from window pixels
        QImage glyphs(shown.size(), QImage::Format_RGB32);
        glyphs.fill(Qt::white);
        {
            QPainter p(&glyphs);
            p.scale(f, f);
            p.setFont(before.textFont());
            p.setPen(Qt::black);
            p.drawText(QPointF(100, 10 + QFontMetrics(before.textFont()).ascent()), QStringLiteral("１２"));
        }
        const QRect text(int(100 * f), int(10 * f), int(100 * f) - 1, int(40 * f));
        QCOMPARE(shown.copy(text), glyphs.copy(text));
    }

    // A panel drilled at a scale of 1 and then shown at another scale (painted again from the
    // calls it kept) looks exactly as one drilled at that scale all along, while the calls it keeps stay
    // those of the problems still on show, not of every problem since the start.
    void panelDrilledAtOneIsSharpLater_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<double>("factor");
        QTest::newRow("3 tape, 1.5") << 3 << 1.5;
        QTest::newRow("5 colouring, 0.5") << 5 << 0.5;
        QTest::newRow("5 colouring, 1.408") << 5 << 1.408;
        QTest::newRow("6 number line, 2") << 6 << 2.0;
        QTest::newRow("8 which is larger, 0.767") << 8 << 0.767;
        QTest::newRow("12 litres, 1.5") << 12 << 1.5;
        QTest::newRow("14 kind buttons, 0.5") << 14 << 0.5;
        QTest::newRow("20 addition, 1.025") << 20 << 1.025;
    }
    void panelDrilledAtOneIsSharpLater()
    {
        QFETCH(int, level);
        QFETCH(double, factor);
        // A problem in each slot, then in slot 1 new problems with a wrong try each.
        auto drill = [](ScaledForm& d, int problems) {
            Form1& form = d.form;
            for (int s = 1; s <= 3; ++s) {
                form.st.CurrentSlot = int16_t(s);
                form.NewProblem();
            }
            for (int i = 0; i < problems; ++i) {
                form.st.CurrentSlot = 1;
                form.NewProblem();
                RarelyRightTry(form, i);
                d.platform.messages.clear();
            }
            QCoreApplication::processEvents();
        };
        ScaledForm sharp(level, factor, 11), plain(level, 1.0, 11);
        drill(sharp, 5);
        drill(plain, 5);
        const size_t keptAfterFew = plain.panel().keptCalls();
        drill(sharp, 60);
        drill(plain, 60);
        QCOMPARE(plain.panel().image(), sharp.panel().image());
        plain.window->fixScale(factor);
        QCOMPARE(plain.shown(), sharp.shown());
        // what is kept does not grow with the problems drilled
        QVERIFY2(plain.panel().keptCalls() <= keptAfterFew + keptAfterFew / 2,
                 qPrintable(QStringLiteral("%1 after 68 problems, %2 after 8").arg(plain.panel().keptCalls())
                                .arg(keptAfterFew)));
    }

    // At a scale of 1 the form is the window's own child, without the view; a shown window
    // moves it into the view when another scale or full screen is asked for, and a press at
    // a screen pixel still reaches the form pixel under it, through the window as a real
    // click arrives.
    void switchesToTheViewWhileShown_data()
    {
        QTest::addColumn<QString>("steps");   // s: scale 1.5, f: F11, 1: scale 1
        QTest::addColumn<bool>("throughView");
        QTest::newRow("scale 1 only") << "" << false;
        QTest::newRow("1, then 1.5") << "s" << true;
        QTest::newRow("1, then 1.5, then 1") << "s1" << true;
        QTest::newRow("F11 and back") << "ff" << true;
        QTest::newRow("F11") << "f" << true;
    }
    void switchesToTheViewWhileShown()
    {
        QFETCH(QString, steps);
        QFETCH(bool, throughView);
        Surface form;
        QPalette pal;
        pal.setColor(QPalette::Window, Qt::white);
        form.setPalette(pal);
        form.resizeImage(300, 200);
        form.Box(100, 50, 40, 30, colours::Black);
        ScaledWindow window(form, {});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.view() == nullptr);
        QCOMPARE(form.parentWidget(), &window);
        QCOMPARE(window.size(), QSize(300, 200));
        for (QChar step : steps) {
            if (step == 's')
                window.fixScale(1.5);
            else if (step == '1')
                window.fixScale(1);
            else
                window.toggleFullScreen();
            QCoreApplication::processEvents();
        }
        QCOMPARE(window.view() != nullptr, throughView);
        QVERIFY(form.isVisible());
        QPointF delivered(-1, -1);
        int presses = 0;
        QObject::connect(&form, &Surface::mouseDown, [&](int, int, double x, double y) {
            delivered = {x, y};
            ++presses;
        });
        for (const QPoint p : {QPoint(1, 2), QPoint(120, 60), QPoint(299, 199), QPoint(17, 183)}) {
            // a screen pixel inside the form pixel's square
            const QPoint pixel = window.view() ? window.view()->mapFromScene(QPointF(p) + QPointF(0.25, 0.25)) : p;
            QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, pixel);
            QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, pixel);
            QCOMPARE(delivered, QPointF(p));
        }
        QCOMPARE(presses, 4);
        // what the window shows of the form: its box, where the form has it
        const QImage shown = window.grab().toImage();
        const QPoint corner = window.view() ? window.view()->mapFromScene(QPointF(100.25, 50.25)) : QPoint(100, 50);
        QCOMPARE(shown.pixel(corner) | 0xff000000u, colours::Black);
        QCOMPARE(shown.pixel(corner + QPoint(-3, -3)) | 0xff000000u, colours::White);
    }

    void menuEntriesLieInsideTheirMenus_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("small") << 800;
        QTest::newRow("large") << 1280;
    }
    void menuEntriesLieInsideTheirMenus()
    {
        QFETCH(int, width);
        Harness h(width);
        Form1& f = *h.form;
        for (int i = 0; i < 22; ++i) {
            const QWidget* menu = f.Picture7[i < 10 ? 0 : 1];
            QVERIFY2(menu->rect().contains(f.Option2[i]->geometry()), qPrintable(QString::number(i)));
            if (i != 0 && i != 10)   // and no two entries overlap
                QVERIFY(f.Option2[i]->y() > f.Option2[i - 1]->geometry().bottom());
        }
        // the twelfth fourth-year entry lies below the eleventh's, wholly inside
        const QRect last = f.Option2[21]->geometry();
        QVERIFY(last.bottom() < f.Picture7[1]->height());
    }

    void smallLayoutKeepsTheOtherEntries()
    {
        Harness h(800);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(h.form->Option2[i]->geometry(), QRect(35, 40 * i + 70, 700, 28));
        for (int i = 10; i < 22; ++i) {
            QCOMPARE(h.form->Option2[i]->x(), 35);
            QCOMPARE(h.form->Option2[i]->size(), QSize(700, 28));
        }
    }
};

QTEST_MAIN(WindowScaleTest)
#include "tst_window_scale.moc"
