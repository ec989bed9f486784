// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/PageTone.h"

#include <emscripten.h>

namespace {

// One AudioContext for the page, made and resumed in the handler of a press, a tap or a key:
// the only place a browser (Safari above all) lets a page start its sound. The handlers stay
// until the sound runs, and come back if the browser stops it (another tab, a call).
EM_JS(void, porome_tone_prepare, (), {
    const kinds = [ "pointerdown", "pointerup", "mousedown", "touchend", "keydown" ];
    const audio = {context : null};
    Module.poromeAudio = audio;
    function listen(on) {
        for (const kind of kinds) {
            if (on)
                window.addEventListener(kind, unlock, {capture : true, passive : true});
            else
                window.removeEventListener(kind, unlock, {capture : true});
        }
    }
    function unlock() {
        try {
            if (!audio.context) {
                const Context = window.AudioContext || window.webkitAudioContext;
                if (!Context) {
                    listen(false);
                    return;
                }
                audio.context = new Context();
                audio.context.onstatechange = () => {
                    if (audio.context.state !== "running" && audio.context.state !== "closed")
                        listen(true);
                };
            }
            const context = audio.context;
            if (context.state === "running") {
                listen(false);
                return;
            }
            // Older Safari starts only on a sound begun in the press: a silent sample.
            const source = context.createBufferSource();
            source.buffer = context.createBuffer(1, 1, 22050);
            source.connect(context.destination);
            source.start(0);
            const resumed = context.resume();
            if (resumed)
                resumed.then(() => { if (context.state === "running") listen(false); }, () => {});
        } catch (e) {
            listen(false);
        }
    }
    listen(true);
});

EM_JS(void, porome_tone_play, (), {
    try {
        const context = Module.poromeAudio && Module.poromeAudio.context;
        if (!context || context.state === "closed")
            return;
        if (context.state !== "running") {
            const resumed = context.resume();
            if (resumed)
                resumed.catch(() => {});
        }
        // A soft start and end keep the tone from clicking.
        const start = context.currentTime + 0.01, length = 0.125, level = 0.2;
        const tone = context.createOscillator();
        const gain = context.createGain();
        tone.type = "sine";
        tone.frequency.value = 750;
        gain.gain.setValueAtTime(0, start);
        gain.gain.linearRampToValueAtTime(level, start + 0.005);
        gain.gain.setValueAtTime(level, start + length - 0.01);
        gain.gain.linearRampToValueAtTime(0, start + length);
        tone.connect(gain);
        gain.connect(context.destination);
        tone.start(start);
        tone.stop(start + length + 0.01);
    } catch (e) {
    }
});

} // namespace

PageTone::PageTone()
{
    porome_tone_prepare();
}

void PageTone::Tone()
{
    porome_tone_play();
}
