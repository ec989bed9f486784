// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <array>
#include <cstdint>

// The state the whole program shares; zero at start and living as long as the window.
struct AppState
{
    static constexpr int kItems = 1001;   // items 0..1000 per slot
    static constexpr int kMaxProblem = 99; // problem k uses items 10k+1..10k+10

    int16_t ScreenWidthPixels = 0;
    int16_t GradeIndex = 0;
    int16_t Level = 0;
    int16_t PanelIndex = 0;
    int16_t CurrentSlot = 0;
    std::array<int16_t, 4> ActiveField{};  // 1..3 used
    // [slot][item]; slot 0 unused. Item 0: slot state, item 1: problem counter k,
    // items 10k+1..10k+10: record of problem k.
    std::array<std::array<int32_t, kItems>, 4> ProblemData{};
    QString PromptText;

    int32_t& Item(int slot, int item) { return ProblemData.at(slot).at(item); }
    int32_t Item(int slot, int item) const { return ProblemData.at(slot).at(item); }
    // Item i of the record of the slot's current problem (i = 1..10).
    int32_t& Rec(int slot, int i) { return Item(slot, Item(slot, 1) * 10 + i); }
};
