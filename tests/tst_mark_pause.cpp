// SPDX-License-Identifier: GPL-3.0-or-later
// The real pause behind a mark: it lasts until the clock's second changes and keeps the
// event loop running (painting goes on) without spinning.
#include "shell/QtPlatform.h"
#include "support/Bounds.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <ctime>

class MarkPauseTest : public QObject
{
    Q_OBJECT
private slots:
    void waitsForNextSecondWithoutSpinning()
    {
        QtPlatform platform;
        int timerTicks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++timerTicks; });
        ticker.start(50);

        const int before = QTime::currentTime().second();
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpuBefore = std::clock();
        platform.WaitForNextSecond();
        const double cpuSeconds = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
        QVERIFY(QTime::currentTime().second() != before);
        // Up to the next second, and the time a slow build or a busy machine takes to wake.
        QVERIFY(timer.elapsed() <= 1000 + bounds::ScaledMs(100));
        // other events are served meanwhile, and the processor is mostly idle
        QVERIFY(timer.elapsed() < 100 || timerTicks > 0);
        QVERIFY2(cpuSeconds < 0.5 * std::max<qint64>(timer.elapsed(), 200) / 1000.0,
                 qPrintable(QString::number(cpuSeconds)));
    }
};

QTEST_MAIN(MarkPauseTest)
#include "tst_mark_pause.moc"
