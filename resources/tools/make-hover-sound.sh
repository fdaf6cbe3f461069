#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the hover sound: a 30 ms soft click (a quickly fading 1.8 kHz tone with a little
# of its octave below), mono 16-bit 44.1 kHz. Needs sox.
set -eu
out="${1:-$(dirname "$0")/../sounds/hover.wav}"
sox -n -r 44100 -c 1 -b 16 "$out" \
    synth 0.03 sine 1800 sine 900 remix 1-2 \
    fade q 0.002 0.03 0.026 gain -n -14
