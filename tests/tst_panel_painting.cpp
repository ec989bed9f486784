// SPDX-License-Identifier: GPL-3.0-or-later
// What reaches the screen: a panel repaints only what a drawing call changed, so the screen
// must show every changed pixel after the event loop turns; the image is made late but
// looks as if made at once; and a window that builds its panels late looks and behaves like
// one that builds them at once.
#include "drawing/Surface.h"
#include "support/Harness.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <functional>

Q_DECLARE_METATYPE(std::function<void(Surface&)>)

namespace {
using Draw = std::function<void(Surface&)>;
constexpr QRgb kPanel = 0xffffffc0u;

// What the screen shows of a widget: the offscreen platform grabs its backing store.
QImage OnScreen(QWidget& w)
{
    QApplication::processEvents();
    const QPoint at = w.mapTo(w.window(), QPoint(0, 0));
    return QGuiApplication::primaryScreen()
        ->grabWindow(w.window()->winId(), at.x(), at.y(), w.width(), w.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// A window of two panels that came from the same seed and the same presses.
QImage PanelAfter(Form1::Build build, int level, int screenWidth)
{
    ScriptedPlatform platform;
    platform.screenWidth = screenWidth;
    Form1 form(platform, nullptr, build);
    form.Form_Load();
    form.show();
    form.rnd.Seed(77);
    form.Command1_Click(int16_t(level <= 10 ? 0 : 1));
    form.Option2[level - 1]->click();
    form.Command10_Click(int16_t(level <= 10 ? 0 : 1));
    for (int s = 1; s <= (screenWidth >= 1000 ? 3 : 2); ++s) {
        QTest::mousePress(form.Picture1[form.st.PanelIndex], Qt::LeftButton, {},
                          QPoint(760, (s - 1) * 220 + 90));
    }
    return form.grab().toImage().convertToFormat(QImage::Format_RGB32);
}
} // namespace

class PanelPaintingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void screenShowsEveryDrawnPixel_data()
    {
        QTest::addColumn<Draw>("draw");
        QTest::newRow("line") << Draw([](Surface& s) { s.Line(10, 10, 150, 70, colours::Black); });
        QTest::newRow("line backwards") << Draw([](Surface& s) { s.Line(160, 80, -150, -70, colours::Red); });
        QTest::newRow("solid box") << Draw([](Surface& s) {
            s.FillStyle = 0;
            s.FillColor = colours::Cyan;
            s.Box(30, 20, 80, 50, colours::Black);
        });
        QTest::newRow("filled box upwards") << Draw([](Surface& s) { s.FilledBox(40, 90, 60, -30, colours::Red); });
        QTest::newRow("text") << Draw([](Surface& s) {
            s.ForeColor = colours::Black;
            s.CurrentX = 12.5;
            s.CurrentY = 8;
            s.Print(QStringLiteral("ぶんすう　１２／７"));
        });
        QTest::newRow("large text at the edge") << Draw([](Surface& s) {
            s.FontSize = 36;
            s.CurrentX = 150;
            s.CurrentY = 60;
            s.Print(QStringLiteral("○×"));
        });
        QTest::newRow("round frame") << Draw([](Surface& s) {
            s.ForeColor = colours::White;
            s.FillColor = colours::White;
            s.FillStyle = 0;
            s.RoundRect(5, 5, 190, 95, 30, 30);
        });
        QTest::newRow("flood fill") << Draw([](Surface& s) {
            s.FillStyle = 1;
            s.Box(20, 20, 100, 60, colours::Black);
            QApplication::processEvents();
            s.FillStyle = 0;
            s.FillColor = colours::Cyan;
            s.FloodFill(50, 50, colours::Black);
        });
    }
    void screenShowsEveryDrawnPixel()
    {
        QFETCH(Draw, draw);
        QWidget window;
        window.resize(240, 140);
        Surface surface(&window);
        surface.move(20, 20);
        QPalette pal;
        pal.setColor(QPalette::Window, QColor(kPanel));
        surface.setPalette(pal);
        surface.setFont(QFont(QStringLiteral("IPAGothic")));
        surface.resizeImage(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(OnScreen(surface), surface.image());

        draw(surface);
        const QImage shown = OnScreen(surface);
        QVERIFY(shown != QImage());
        QCOMPARE(shown, surface.image());
    }

    void refreshPaintsAtOnce()
    {
        QWidget window;
        window.resize(240, 140);
        Surface surface(&window);
        surface.resizeImage(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        surface.FilledBox(10, 10, 30, 30, colours::Red);
        surface.Refresh();   // no event loop between drawing and the grab
        const QImage shown = QGuiApplication::primaryScreen()
                                 ->grabWindow(window.winId(), 0, 0, 200, 100)
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.pixel(20, 20) | 0xff000000u, colours::Red);
    }

    void lateImageKeepsEverySizing_data()
    {
        QTest::addColumn<QList<QSize>>("sizes");
        QTest::newRow("one size") << QList<QSize>{{120, 80}};
        QTest::newRow("smaller") << QList<QSize>{{120, 80}, {90, 50}};
        QTest::newRow("larger") << QList<QSize>{{60, 40}, {120, 80}};
        QTest::newRow("wider, then lower") << QList<QSize>{{60, 90}, {120, 40}, {100, 100}};
    }
    void lateImageKeepsEverySizing()
    {
        // Each sizing fills with the colour of that moment and keeps the old image in the
        // corner; made late, the image must come out the same.
        QFETCH(QList<QSize>, sizes);
        const std::array<QColor, 3> colours{QColor(0xff, 0xc0, 0xc0), QColor(0xc0, 0xff, 0xc0),
                                            QColor(0xc0, 0xc0, 0xff)};
        Surface late;
        Surface early;
        QImage expected;
        for (int i = 0; i < sizes.size(); ++i) {
            for (Surface* s : {&late, &early}) {
                QPalette pal;
                pal.setColor(QPalette::Window, colours[size_t(i)]);
                s->setPalette(pal);
                s->resizeImage(sizes[i].width(), sizes[i].height());
            }
            early.image();   // made at once
            QImage next(sizes[i], QImage::Format_RGB32);
            next.fill(colours[size_t(i)]);
            for (int y = 0; y < std::min(next.height(), expected.height()); ++y)
                for (int x = 0; x < std::min(next.width(), expected.width()); ++x)
                    next.setPixel(x, y, expected.pixel(x, y));
            expected = next;
        }
        QCOMPARE(late.image(), expected);
        QCOMPARE(early.image(), expected);
        QCOMPARE(late.size(), sizes.last());
    }

    void menuFirstWindowBuildsPanelsWhenALevelStarts()
    {
        ScriptedPlatform platform;
        Form1 form(platform, nullptr, Form1::Build::MenuFirst);
        form.Form_Load();
        form.show();
        QVERIFY(form.Picture1[0] == nullptr && form.Text1[0] == nullptr);
        QVERIFY(form.windowIcon().isNull());
        QApplication::processEvents();
        QVERIFY(!form.windowIcon().isNull());   // set once the window has mapped
        QVERIFY(form.Picture1[0] == nullptr);

        form.Command1_Click(0);
        form.Option2[0]->click();
        form.Command10_Click(0);
        QVERIFY(form.Picture1[0] && form.Picture1[0]->isVisible() && !form.Picture1[1]->isVisible());
        QVERIFY(form.Text1[2] && !form.Text1[2]->isVisible());
        QVERIFY(&form.exercise().Pic() == form.Picture1[0]);
    }

    void menuFirstWindowLooksTheSame_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("screenWidth");
        QTest::newRow("level 1") << 1 << 1280;
        QTest::newRow("level 5, picture panel") << 5 << 1280;
        QTest::newRow("level 14, kind buttons") << 14 << 1280;
        QTest::newRow("level 18") << 18 << 1280;
        QTest::newRow("level 9, small screen") << 9 << 800;
        QTest::newRow("level 13, small screen") << 13 << 800;
    }
    void menuFirstWindowLooksTheSame()
    {
        QFETCH(int, level);
        QFETCH(int, screenWidth);
        const QImage complete = PanelAfter(Form1::Build::Complete, level, screenWidth);
        const QImage menuFirst = PanelAfter(Form1::Build::MenuFirst, level, screenWidth);
        QCOMPARE(menuFirst.size(), complete.size());
        QCOMPARE(menuFirst, complete);
    }
};

QTEST_MAIN(PanelPaintingTest)
#include "tst_panel_painting.moc"
