// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <optional>

// Where a slot's answer boxes stand for the levels whose boxes are placed when the slot is
// started. Offsets are pixels of the panel, tops relative to the slot's y0 = (s-1)*220.
struct BoxAt
{
    int left, top;
};

struct BoxPlacement
{
    bool useText3;              // Text3 shown (a whole part, or level 9's "1")
    std::optional<BoxAt> text3;
    BoxAt text2, text1;
    BoxAt bar;                  // fraction bar, 64 x 3
    bool greyText3;             // Text3 is not the receiving box and shows it
};

// The placement of a level, or nothing for the levels that place their boxes themselves.
std::optional<BoxPlacement> PlacementFor(int level);
