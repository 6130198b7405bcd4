#!/usr/bin/env python3
"""Synthesise the four short sound cues Geodot plays.

    1.wav  success - a file was saved: rising major arpeggio with bell partials
    2.wav  erase   - GPS data removed: soft downward glide into a lower note
    3.wav  update  - GPS fields applied: short two-tone "ping"
    4.wav  failure - something went wrong: low, muted falling semitone

All clips are 16-bit PCM, stereo, 44,100 Hz, peak-normalised to -6 dBFS, and
end on exact digital silence.  Only the standard library is used and nothing
is random, so rerunning the script reproduces the files byte for byte:

    python3 make_sounds.py [OUTPUT_DIR]      (default: this script's folder)
"""

import array
import math
import os
import sys
import wave

RATE = 44100
PEAK_DBFS = -6.0
ATTACK = 0.005      # seconds of raised-cosine fade-in on every note
RELEASE = 0.030     # seconds of fade on a note that is cut short
FADE_OUT = 0.040    # seconds of raised-cosine fade-out at the end of each clip
DETUNE = 2.0        # cents between the two channels, for a little stereo width


def cents(c):
    return 2.0 ** (c / 1200.0)


class Clip:
    """Two float channels that notes are mixed into."""

    def __init__(self, seconds):
        self.n = int(round(seconds * RATE))
        self.left = [0.0] * self.n
        self.right = [0.0] * self.n

    def note(self, start, freq, partials, tau, amp=1.0, pan=0.0,
             glide_to=None, glide_time=0.0, length=None):
        """Add one note.

        partials: (frequency ratio, relative level, decay-time factor) tuples.
        tau:      exponential decay time constant in seconds; each partial
                  decays with tau * its factor, so upper partials die sooner.
        pan:      -1 (left) .. +1 (right), equal-power.
        glide_to: if set, the pitch slides exponentially from freq to this
                  frequency during the first glide_time seconds.
        length:   if set, the note is cut after this many seconds, with a
                  short raised-cosine release so the cut does not click.
        """
        first = int(round(start * RATE))
        last = self.n if length is None else min(self.n, first + int(round(length * RATE)))
        attack = max(1, int(ATTACK * RATE))
        release = int(RELEASE * RATE) if length is not None else 0
        count = last - first
        angle = (pan + 1.0) * math.pi / 4.0
        gains = (math.cos(angle) * amp, math.sin(angle) * amp)
        ratios = (cents(-DETUNE / 2.0), cents(DETUNE / 2.0))
        glide_n = int(glide_time * RATE) if glide_to else 0
        for ch, out in enumerate((self.left, self.right)):
            phases = [0.0] * len(partials)
            base = freq * ratios[ch]
            end = (glide_to or freq) * ratios[ch]
            gain = gains[ch]
            for i in range(count):
                t = i / RATE
                if i < glide_n:
                    f = base * (end / base) ** (i / glide_n)
                else:
                    f = end
                env = 1.0 if i >= attack else 0.5 - 0.5 * math.cos(math.pi * i / attack)
                left_over = count - 1 - i
                if left_over < release:
                    env *= 0.5 - 0.5 * math.cos(math.pi * left_over / release)
                s = 0.0
                for k, (ratio, level, factor) in enumerate(partials):
                    s += level * math.exp(-t / (tau * factor)) * math.sin(phases[k])
                    phases[k] += 2.0 * math.pi * f * ratio / RATE
                out[first + i] += gain * env * s

    def write(self, path):
        fade = int(FADE_OUT * RATE)
        for i in range(fade):
            # Reaches exactly 0 on the final sample so the clip cannot click.
            g = 0.5 - 0.5 * math.cos(math.pi * i / (fade - 1))
            j = self.n - 1 - i
            self.left[j] *= g
            self.right[j] *= g
        peak = max(max(map(abs, self.left)), max(map(abs, self.right)))
        scale = 32767.0 * 10.0 ** (PEAK_DBFS / 20.0) / peak
        pcm = array.array('h', [0] * (2 * self.n))
        for i in range(self.n):
            pcm[2 * i] = int(round(self.left[i] * scale))
            pcm[2 * i + 1] = int(round(self.right[i] * scale))
        if sys.byteorder == 'big':
            pcm.byteswap()  # WAVE data is little-endian
        with wave.open(path, 'wb') as w:
            w.setnchannels(2)
            w.setsampwidth(2)
            w.setframerate(RATE)
            w.writeframes(pcm.tobytes())


# Timbres: (ratio, level, decay factor)
BELL = ((1.0, 1.0, 1.0), (2.0, 0.35, 0.6), (3.0, 0.12, 0.4), (4.2, 0.07, 0.25))
SOFT = ((1.0, 1.0, 1.0), (2.0, 0.18, 0.5), (3.0, 0.05, 0.3))
PING = ((1.0, 1.0, 1.0), (2.0, 0.25, 0.45), (5.4, 0.04, 0.15))
MUTED_BUZZ = ((1.0, 1.0, 1.0), (2.0, 0.30, 0.8), (3.0, 0.22, 0.6),
              (4.0, 0.08, 0.5), (5.0, 0.07, 0.4), (7.0, 0.03, 0.3))


def success():
    # C5 E5 G5 C6, drifting from left to right as it rises.
    clip = Clip(1.41)
    for i, f in enumerate((523.25, 659.26, 783.99, 1046.50)):
        clip.note(0.11 * i, f, BELL, tau=0.38, amp=1.0 - 0.08 * i, pan=-0.3 + 0.2 * i)
    return clip


def erase():
    # A5 sliding down to D5, then a quieter A4 underneath: a gentle "let go".
    clip = Clip(1.19)
    clip.note(0.0, 880.0, SOFT, tau=0.30, pan=0.15, glide_to=587.33, glide_time=0.22)
    clip.note(0.20, 440.0, SOFT, tau=0.32, amp=0.85, pan=-0.15)
    return clip


def update():
    # A quick A5 -> E6 fifth, short and light.
    clip = Clip(1.09)
    clip.note(0.0, 880.0, PING, tau=0.16, amp=0.9, pan=-0.1)
    clip.note(0.09, 1318.51, PING, tau=0.24, pan=0.1)
    return clip


def failure():
    # F3 falling to E3: low, a semitone apart, odd-leaning but rolled-off partials.
    clip = Clip(0.62)
    clip.note(0.0, 174.61, MUTED_BUZZ, tau=0.12, pan=-0.1, length=0.22)
    clip.note(0.17, 164.81, MUTED_BUZZ, tau=0.17, pan=0.1)
    return clip


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out_dir, exist_ok=True)
    for name, make in (('1.wav', success), ('2.wav', erase),
                       ('3.wav', update), ('4.wav', failure)):
        path = os.path.join(out_dir, name)
        make().write(path)
        print(path)


if __name__ == '__main__':
    main()
