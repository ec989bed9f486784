// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/LevelTable.h"
#include "shell/Form1.h"

// Chooses the panel for the level and paints its empty slot frames over whatever an earlier
// exercise left there. Small screens show only two slot rows.
void Form1::PrepareExercise()
{
    st.PanelIndex = int16_t(InfoFor(st.Level).panel);
    Surface& panel = *Picture1[st.PanelIndex];
    panel.ForeColor = colours::White;
    panel.FillColor = colours::White;
    panel.FillStyle = 0;
    const int lastRow = st.ScreenWidthPixels >= 1000 ? 2 : 1;
    for (int i = 0; i <= lastRow; ++i)
        panel.RoundRect(20, i * 220 + 70, 770, i * 220 + 280, 30, 30);
}
