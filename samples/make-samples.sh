#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the sample sounds that ship with Corvane: short synthetic pieces in several formats.
# Needs ffmpeg (with libmp3lame and libvorbis).
set -euo pipefail
cd "$(dirname "$0")"
gen() { ffmpeg -nostdin -v error -y "$@"; }
# A rising three-note chime, MP3 (stereo, 44.1 kHz, 3 s)
gen -f lavfi -i "aevalsrc='0.3*sin(2*PI*523.25*t)*exp(-3*t)+0.3*sin(2*PI*659.25*(t-1))*exp(-3*(t-1))*gte(t,1)+0.3*sin(2*PI*783.99*(t-2))*exp(-3*(t-2))*gte(t,2)|0.3*sin(2*PI*523.25*t+0.5)*exp(-3*t)+0.3*sin(2*PI*659.25*(t-1)+0.5)*exp(-3*(t-1))*gte(t,1)+0.3*sin(2*PI*783.99*(t-2)+0.5)*exp(-3*(t-2))*gte(t,2)':s=44100:d=3" \
    -c:a libmp3lame -b:a 128k 01-chime.mp3
# A soft chord with a slow swell, FLAC (stereo, 48 kHz, 24-bit, 2.5 s)
gen -f lavfi -i "aevalsrc='0.15*(sin(2*PI*220*t)+sin(2*PI*277.18*t)+sin(2*PI*329.63*t))*sin(PI*t/2.5)|0.15*(sin(2*PI*220*t+1)+sin(2*PI*277.18*t+1)+sin(2*PI*329.63*t+1))*sin(PI*t/2.5)':s=48000:d=2.5" \
    -c:a flac -sample_fmt s32 -bits_per_raw_sample 24 02-chord.flac
# A bell-like tone, Ogg Vorbis (mono, 22.05 kHz, 2 s)
gen -f lavfi -i "aevalsrc='0.4*sin(2*PI*880*t)*exp(-2*t)+0.2*sin(2*PI*1320*t)*exp(-4*t)':s=22050:d=2" \
    -c:a libvorbis -q:a 4 03-bell.ogg
# A short pulse pattern, WAV (mono, 16 kHz, 16-bit, 2 s)
gen -f lavfi -i "aevalsrc='0.35*sin(2*PI*440*t)*lt(mod(t\,0.5)\,0.12)':s=16000:d=2" \
    -c:a pcm_s16le 04-pulse.wav
ls -l
