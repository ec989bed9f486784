// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <random>

// The program's one source of random numbers, seeded once at start-up.
class Random
{
public:
    void Seed(uint32_t seed) { engine_.seed(seed); }
    // Next value, uniform in [0, 1), with 24 significant bits like a single-precision draw.
    double Rnd() { return static_cast<double>(engine_() >> 8) / 16777216.0; }

    // minutes*100 + seconds of the time of day: 0 at hh:00:00, 5959 at hh:59:59.
    static uint32_t SeedFromTime(int minutes, int seconds) { return uint32_t(minutes * 100 + seconds); }

private:
    std::mt19937 engine_{0};
};
