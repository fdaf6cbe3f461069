#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Compares a joined WAV with the signal it was cut from.

Usage: seams.py ORIGINAL.raw JOINED.wav START,START,...,END [--lossless]
       seams.py cut ORIGINAL.raw RATE START,START,...,END PREFIX

ORIGINAL.raw is the uncut signal as interleaved stereo s16le; the third
argument gives where each piece starts in it and where the last one ends.
Prints one line, fields separated by tabs:

    original joined difference identical offsets worst

identical is yes/no (lossless only, else -); offsets has one value a piece:
how far the middle of that piece sits in the output from where it sits in the
original, in samples (positive: later). worst is the largest of them by size.
A field that could not be measured is "?".

The cut form writes the pieces as PREFIX1.wav, PREFIX2.wav, ...

Standard library only: this runs wherever python3 does.
"""

import array
import operator
import struct
import sys

CHANNELS = 2
BLOCK = 32  # samples per energy block for the coarse search
COARSE_REACH = 512  # blocks either way: about 0.37 s at 44100 Hz
FINE_REACH = 3 * BLOCK  # samples either way around the coarse lag
FINE_WINDOW = 4410  # samples compared one by one


def read_wav(path):
    """Returns (rate, channels, bits, PCM bytes) of a RIFF or RF64 WAV file."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 12 or data[8:12] != b"WAVE" or data[0:4] not in (b"RIFF", b"RF64"):
        raise ValueError("not a WAV file")
    pos, fmt, ds64_size, pcm = 12, None, None, None
    while pos + 8 <= len(data):
        cid = data[pos : pos + 4]
        (size,) = struct.unpack_from("<I", data, pos + 4)
        body = pos + 8
        if cid == b"ds64":
            (ds64_size,) = struct.unpack_from("<Q", data, body + 8)
        elif cid == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", data, body)
        elif cid == b"data":
            if size == 0xFFFFFFFF and ds64_size is not None:
                size = ds64_size
            pcm = data[body : body + size]
            break
        pos = body + size + (size & 1)
    if fmt is None or pcm is None:
        raise ValueError("no fmt or data chunk")
    _, channels, rate, _, _, bits = fmt
    return rate, channels, bits, pcm


def samples_of(pcm_bytes):
    samples = array.array("h")
    samples.frombytes(pcm_bytes[: len(pcm_bytes) // 2 * 2])
    if sys.byteorder != "little":
        samples.byteswap()
    return samples


def mono(samples, start, count):
    """Left plus right of frames [start, start + count), clipped to what exists."""
    start = max(0, start)
    left = samples[2 * start : 2 * (start + count) : 2]
    right = samples[2 * start + 1 : 2 * (start + count) : 2]
    return [a + b for a, b in zip(left, right)]


def energies(x):
    return [sum(map(operator.mul, x[i : i + BLOCK], x[i : i + BLOCK])) for i in range(0, len(x) - BLOCK + 1, BLOCK)]


def best_lag(ref, out, base, lags):
    """The lag in lags maximising the normalised correlation of ref with
    out[base + lag :]. None when no lag fits inside out."""
    n = len(ref)
    squares = [0]
    for v in out:
        squares.append(squares[-1] + v * v)
    best, best_score = None, None
    for lag in lags:
        s = base + lag
        if s < 0 or s + n > len(out):
            continue
        energy = squares[s + n] - squares[s]
        if energy <= 0:
            continue
        score = sum(map(operator.mul, ref, out[s : s + n])) / energy**0.5
        if best_score is None or score > best_score:
            best, best_score = lag, score
    return best


def offset_of_piece(orig, joined, start, end):
    """Where the middle of piece [start, end) is in joined, relative to start.

    A coarse search on block energies finds the piece within COARSE_REACH
    blocks either way; a sample-by-sample one around that finds the lag."""
    length = end - start
    win = min(length // 2, 22050)  # the middle half second, less for short pieces
    mid = start + (length - win) // 2
    margin = COARSE_REACH * BLOCK + FINE_REACH
    ref = mono(orig, mid, win)
    lo = max(0, mid - margin)
    out = mono(joined, lo, mid - lo + win + margin)
    base = mid - lo  # where mid falls in out

    out_e = energies(out[base % BLOCK :])
    coarse = best_lag(energies(ref), out_e, base // BLOCK, range(-COARSE_REACH, COARSE_REACH + 1))
    if coarse is None:
        return None
    centre = coarse * BLOCK
    fine_win = min(win, FINE_WINDOW)
    f0 = (win - fine_win) // 2
    fine = best_lag(ref[f0 : f0 + fine_win], out, base + f0 + centre, range(-FINE_REACH, FINE_REACH + 1))
    return None if fine is None else centre + fine


def write_wav(path, rate, pcm):
    size = len(pcm)
    header = b"RIFF" + struct.pack("<I", 36 + size) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, CHANNELS, rate, rate * 2 * CHANNELS, 2 * CHANNELS, 16)
    header += b"data" + struct.pack("<I", size)
    with open(path, "wb") as f:
        f.write(header + pcm)


def cut(argv):
    """cut ORIGINAL.raw RATE START,...,END PREFIX: writes PREFIX1.wav, PREFIX2.wav, ..."""
    with open(argv[2], "rb") as f:
        orig = f.read()
    rate, cuts, prefix = int(argv[3]), [int(c) for c in argv[4].split(",")], argv[5]
    frame = 2 * CHANNELS
    if cuts[-1] * frame > len(orig) or any(b <= a for a, b in zip(cuts, cuts[1:])):
        sys.stderr.write("seams.py: cut positions outside the signal or out of order\n")
        return 2
    for i, (start, end) in enumerate(zip(cuts, cuts[1:]), 1):
        write_wav(f"{prefix}{i}.wav", rate, orig[start * frame : end * frame])
    return 0


def main(argv):
    if len(argv) == 6 and argv[1] == "cut":
        return cut(argv)
    if len(argv) not in (4, 5) or (len(argv) == 5 and argv[4] != "--lossless"):
        sys.stderr.write(__doc__)
        return 2
    lossless = len(argv) == 5
    with open(argv[1], "rb") as f:
        orig = f.read()
    cuts = [int(c) for c in argv[3].split(",")]
    frame = 2 * CHANNELS
    n_orig = len(orig) // frame
    try:
        rate, channels, bits, joined = read_wav(argv[2])
    except (OSError, ValueError) as e:
        sys.stderr.write(f"seams.py: {argv[2]}: {e}\n")
        return 2
    if (channels, bits) != (CHANNELS, 16):
        sys.stderr.write(f"seams.py: {argv[2]} is {channels} ch {bits} bit, not {CHANNELS} ch 16 bit\n")
        return 2
    n_joined = len(joined) // frame

    identical = "-"
    if lossless:
        identical = "yes" if joined == orig else "no"

    orig_s, joined_s = samples_of(orig), samples_of(joined)
    offsets = []
    for start, end in zip(cuts, cuts[1:]):
        off = offset_of_piece(orig_s, joined_s, start, end)
        offsets.append("?" if off is None else str(off))
    known = [int(o) for o in offsets if o != "?"]
    worst = "?" if len(known) < len(offsets) else str(max(known, key=abs))
    print("\t".join([str(n_orig), str(n_joined), str(n_joined - n_orig), identical, ",".join(offsets), worst]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
