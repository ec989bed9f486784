// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/PagePlatform.h"

// The page's tone, played with the browser's Web Audio: a quiet 750 Hz tone of an eighth of
// a second, as a computer's own beep. Browsers start sound only in answer to a press, so
// the audio is made ready (resumed) on the page's first press, tap or key; where the
// browser has no Web Audio or refuses it, the tone is left out and nothing is said.
class PageTone final : public PageSound
{
public:
    PageTone();
    void Tone() override;
};
