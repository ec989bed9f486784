// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;

namespace page {
// Opens the exercise of `level` (1..22) at once, as the pupil does: the level's school year,
// the level in its menu, then けってい. 終わる then returns to that menu as usual.
void OpenLevel(Form1& form, int level);
} // namespace page
