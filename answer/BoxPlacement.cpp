// SPDX-License-Identifier: GPL-3.0-or-later
#include "answer/BoxPlacement.h"

std::optional<BoxPlacement> PlacementFor(int level)
{
    switch (level) {
    case 9:
        return BoxPlacement{true, BoxAt{600, 147}, {460, 115}, {460, 180}, {450, 166}, false};
    case 10:
        return BoxPlacement{false, std::nullopt, {460, 115}, {460, 180}, {450, 166}, false};
    case 11:
    case 16:
        return BoxPlacement{true, BoxAt{640, 115}, {640, 180}, {580, 147}, {630, 166}, true};
    case 12:
        return BoxPlacement{true, BoxAt{680, 115}, {680, 180}, {620, 147}, {670, 166}, true};
    case 15:
        return BoxPlacement{false, std::nullopt, {680, 115}, {680, 180}, {670, 166}, false};
    case 17:
    case 18:
    case 20:
    case 22:
        return BoxPlacement{true, BoxAt{450, 147}, {510, 115}, {510, 180}, {500, 166}, false};
    case 19:
    case 21:
        return BoxPlacement{false, std::nullopt, {450, 115}, {450, 180}, {440, 166}, false};
    default:
        return std::nullopt;
    }
}
