// SPDX-License-Identifier: GPL-3.0-or-later
// porome-bench: for every level, the time to draw a new problem into a slot and the time
// to judge and mark a check, in the real window off screen. The clock is scripted, so the
// pause after a mark costs nothing and only the program's own work is timed.
//
//   porome-bench [--problems N] [--level L]
//
// Per level, N problems are drawn one after another in slot 1 and N checks are judged there
// (each one a typed answer, or a kind button on the level that has no check button). Both
// times include painting the window. Printed per level: p50, p99 and max in milliseconds on
// the wall clock, and p99 of the processor time the program's thread spent.
#include "support/Harness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Runs fn and the painting it asks for; adds the milliseconds taken, on the wall clock and
// in processor time of this thread (which a busy machine does not inflate as much).
template <class Fn>
void Timed(std::vector<double>& wall, std::vector<double>& cpu, Fn fn)
{
    const double cpuStart = ThreadCpuMs();
    QElapsedTimer timer;
    timer.start();
    fn();
    QApplication::processEvents();
    wall.push_back(double(timer.nsecsElapsed()) / 1e6);
    cpu.push_back(ThreadCpuMs() - cpuStart);
}

struct Summary
{
    double p50, p99, max;
};

// Nearest-rank percentiles.
Summary Summarise(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    auto rank = [&](double q) {
        const size_t i = size_t(std::max(1.0, std::ceil(q * double(ms.size())))) - 1;
        return ms[std::min(i, ms.size() - 1)];
    };
    return {rank(0.50), rank(0.99), ms.back()};
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    int problems = 1000, onlyLevel = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--problems") == 0 && i + 1 < argc)
            problems = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--level") == 0 && i + 1 < argc)
            onlyLevel = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: porome-bench [--problems N] [--level L]\n");
            return 2;
        }
    }

    std::printf("%-5s %9s %9s %9s %9s %9s %9s %9s %9s\n", "level", "draw_p50", "draw_p99", "draw_max",
                "draw_cpu99", "check_p50", "check_p99", "check_max", "check_cpu99");
    for (int level = 1; level <= 22; ++level) {
        if (onlyLevel && level != onlyLevel)
            continue;
        Harness h;
        h.Seed(2024);
        h.StartLevel(level);
        h.PressSlot(1);
        QApplication::processEvents();

        std::vector<double> draws, drawsCpu, checks, checksCpu;
        for (int i = 0; i < problems; ++i) {
            Timed(draws, drawsCpu, [&] {
                h.st().CurrentSlot = 1;
                h.form->NewProblem();
            });
            // mostly marked ×, so that the third wrong try draws the next problem, as a pupil's do
            Timed(checks, checksCpu, [&] { RarelyRightTry(*h.form, i); });
            h.platform.messages.clear();
        }
        const Summary d = Summarise(draws), dc = Summarise(drawsCpu);
        const Summary c = Summarise(checks), cc = Summarise(checksCpu);
        std::printf("%-5d %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f\n", level, d.p50, d.p99, d.max,
                    dc.p99, c.p50, c.p99, c.max, cc.p99);
        std::fflush(stdout);
    }
    return 0;
}
