// SPDX-License-Identifier: GPL-3.0-or-later
// The drawing surface of the exercise panels.
#include "drawing/Surface.h"
#include "support/Harness.h"

#include <QTest>

namespace {
constexpr QRgb kYellow = 0xffffffc0u;
QRgb At(const Surface& s, int x, int y) { return s.image().pixel(x, y) | 0xff000000u; }
} // namespace

class SurfaceTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void init()
    {
        surface = std::make_unique<Surface>();
        QPalette pal;
        pal.setColor(QPalette::Window, QColor(kYellow));
        surface->setPalette(pal);
        surface->resizeImage(200, 100);
    }

    void newImageHasPanelColour() { QCOMPARE(At(*surface, 10, 10), kYellow); }

    void transparentBoxKeepsInside()
    {
        surface->FilledBox(10, 10, 50, 50, colours::Red);
        surface->FillStyle = 1;
        surface->Box(5, 5, 60, 60, colours::Black);
        QCOMPARE(At(*surface, 30, 30), colours::Red);
        QCOMPARE(At(*surface, 5, 30), colours::Black);
        QCOMPARE(At(*surface, 65, 30), colours::Black);
        QCOMPARE(At(*surface, 30, 65), colours::Black);
        QCOMPARE(At(*surface, 66, 30), kYellow);
    }

    void solidBoxPaintsInsideWithBrush()
    {
        surface->FillStyle = 0;
        surface->FillColor = colours::White;
        surface->Box(5, 5, 60, 60, colours::Black);
        QCOMPARE(At(*surface, 30, 30), colours::White);
        QCOMPARE(At(*surface, 5, 5), colours::Black);
    }

    void filledBoxHasItsSize_data()
    {
        QTest::addColumn<double>("dy");
        QTest::newRow("downwards") << 3.0;
        QTest::newRow("upwards") << -3.0;
    }
    void filledBoxHasItsSize()
    {
        QFETCH(double, dy);
        surface->FilledBox(10, 50, 67, dy, colours::Black);
        const QRect expected = dy > 0 ? QRect(10, 50, 67, 3) : QRect(10, 47, 67, 3);
        QCOMPARE(CountPixels(surface->image(), QRect(0, 0, 200, 100), colours::Black), 67 * 3);
        QCOMPARE(CountPixels(surface->image(), expected, colours::Black), 67 * 3);
    }

    void linesArePureBlack()
    {
        surface->Line(10, 10, 100, 7, colours::Black);
        const QImage& img = surface->image();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb c = img.pixel(x, y) | 0xff000000u;
                QVERIFY(c == colours::Black || c == kYellow);
            }
        QCOMPARE(At(*surface, 10, 10), colours::Black);
        QCOMPARE(At(*surface, 110, 17), colours::Black);
    }

    void floodFillStopsAtBlack()
    {
        surface->FillStyle = 1;
        surface->Box(20, 20, 60, 40, colours::Black);
        surface->Line(50, 20, 0, 40, colours::Black);
        surface->FillStyle = 0;
        surface->FillColor = colours::Red;
        surface->FloodFill(30, 30, colours::Black);
        QCOMPARE(At(*surface, 21, 21), colours::Red);
        QCOMPARE(At(*surface, 49, 59), colours::Red);
        QCOMPARE(At(*surface, 51, 30), kYellow);   // beyond the divider
        QCOMPARE(At(*surface, 10, 10), kYellow);   // outside the box
        QCOMPARE(At(*surface, 20, 30), colours::Black);
        // filling the red cell white again restores it, and refilling with the same colour ends
        surface->FillColor = colours::White;
        surface->FloodFill(30, 30, colours::Black);
        QCOMPARE(At(*surface, 30, 30), colours::White);
        surface->FloodFill(30, 30, colours::Black);
        QCOMPARE(CountPixels(surface->image(), QRect(21, 21, 29, 39), colours::White), 29 * 39);
    }

    void floodFillOnBlackOrTransparentDoesNothing()
    {
        surface->Line(0, 50, 200, 0, colours::Black);
        const QImage before = surface->image();
        surface->FillStyle = 0;
        surface->FillColor = colours::Red;
        surface->FloodFill(100, 50, colours::Black);
        QCOMPARE(surface->image(), before);
        surface->FillStyle = 1;
        surface->FloodFill(100, 20, colours::Black);
        QCOMPARE(surface->image(), before);
        surface->FillStyle = 0;
        surface->FloodFill(500, 20, colours::Black);   // outside the image
        QCOMPARE(surface->image(), before);
    }

    void printMovesToNextLine()
    {
        surface->CurrentX = 30;
        surface->CurrentY = 10;
        surface->ForeColor = colours::Black;
        surface->Print(QStringLiteral("１ｍ"));
        QCOMPARE(surface->CurrentX, 0.0);
        QVERIFY(surface->CurrentY >= 10 + 32);
        // text stays right of CurrentX and below CurrentY, on a transparent background
        QVERIFY(CountPixels(surface->image(), QRect(30, 10, 70, 34), kYellow) < 70 * 34);
        QCOMPARE(CountPixels(surface->image(), QRect(0, 0, 30, 100), kYellow), 30 * 100);
        QCOMPARE(CountPixels(surface->image(), QRect(0, 0, 200, 10), kYellow), 200 * 10);
    }

    void roundRectWipesWithBrush()
    {
        surface->FilledBox(0, 0, 200, 100, colours::Red);
        surface->ForeColor = colours::White;
        surface->FillColor = colours::White;
        surface->FillStyle = 0;
        surface->RoundRect(20, 10, 180, 90, 30, 30);
        QCOMPARE(At(*surface, 100, 50), colours::White);
        QCOMPARE(At(*surface, 20, 50), colours::White);
        QCOMPARE(At(*surface, 179, 50), colours::White);
        QCOMPARE(At(*surface, 180, 50), colours::Red);   // right edge exclusive
        QCOMPARE(At(*surface, 21, 11), colours::Red);    // the rounded corner
    }

    void pointOutsideImageIsBlack() { QCOMPARE(surface->Point(-1, 5), colours::Black); }

private:
    std::unique_ptr<Surface> surface;
};

QTEST_MAIN(SurfaceTest)
#include "tst_surface.moc"
