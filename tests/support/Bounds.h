// SPDX-License-Identifier: GPL-3.0-or-later
// How long a test lets the program take. A test waits for an event and goes on as soon as it
// comes, so a bound matters only when the event never comes: it must outlast the slowest
// machine the tests run on, never decide a result there. The sanitizer builds run the program
// ten times slower or more, and a busy machine slows every build: every bound is written here
// once, for the normal build, and multiplied by one factor, Slowdown, which tests/CMakeLists.txt
// sets for the sanitizer builds (POROME_TEST_SLOWDOWN).
#pragma once

#include <QTest>

#include <chrono>

#ifndef POROME_TEST_SLOWDOWN
#define POROME_TEST_SLOWDOWN 1
#endif

namespace bounds {

inline constexpr int Slowdown = POROME_TEST_SLOWDOWN;

// A time the program is given, or may take, on the normal build, scaled for this build.
constexpr std::chrono::milliseconds Scaled(std::chrono::milliseconds normal) { return normal * Slowdown; }
constexpr int ScaledMs(int normalMs) { return normalMs * Slowdown; }

// The longest wait for an event: a store's answer, a thread's write, a line said.
inline constexpr std::chrono::milliseconds Event = Scaled(std::chrono::seconds(10));
inline constexpr int EventMs = int(Event.count());

} // namespace bounds

// QTRY_COMPARE and QTRY_VERIFY with the event bound in place of Qt's fixed five seconds.
#define EVENT_COMPARE(actual, expected) QTRY_COMPARE_WITH_TIMEOUT(actual, expected, bounds::EventMs)
#define EVENT_VERIFY(condition) QTRY_VERIFY_WITH_TIMEOUT(condition, bounds::EventMs)
