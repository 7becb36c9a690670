#!/usr/bin/env python3
"""Writes the fixture logs of the black-mark log decoder and the memo text
expected for each, from the line formats alone (an implementation of its own,
so the C++ decoder is checked against something it does not share).

Each fixture is <name>.hex (the log, hex bytes, 16 a line; the first line is a
comment with the window limit and the threshold) and <name>.en.txt /
<name>.cn.txt (the memo lines, one a line, UTF-8). Run it from anywhere; it
writes beside itself.
"""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))


def volts(sample):
    return sample * 5 / 256


def f2(v):
    return "%1.2f" % v


def tag(k):
    if k < 10:
        return "mm:    "
    if k < 100:
        return "mm:  "
    return "mm:"


def decode(log, limit, threshold, english):
    def sample(pos):
        return log[pos] if pos < len(log) else 0

    lines = []
    t = threshold if threshold is not None else 0
    if threshold is not None:
        pos, k, run = 1, 0, 0
        while pos < limit:
            window = [sample(p) for p in range(pos, pos + 8)]
            pos += 7
            hi, lo, last = volts(max(window)), volts(min(window)), volts(window[-1])
            if volts(t) > hi:
                run = 0
            run += 1
            lines.append("l= %d%sU=%sV->Max=%sV,Min=%sV,dif=%sV" % (k, tag(k), f2(last), f2(hi), f2(lo), f2(hi - lo)))
            if run > 3:
                prefix = "Black mark found ! Lg=" if english else "找到黑标！ Lg="
                lines.append("%s%d,steps=%dmm,U=%sV" % (prefix, k * 8, k, f2(hi)))
                break
            k += 1
            pos += 1
    prefix = "Actual Sensor Level = " if english else "传感器阀值 = "
    lines.append("%s%sV (Hex:%2X)" % (prefix, f2(volts(t)), t))
    return lines


def windows(kinds, threshold, rng):
    """A log from window kinds: 'L' wholly below the threshold, 'H' with its
    maximum at or above it. Byte 0 is the ignored first byte."""
    log = [0x5A]
    for kind in kinds:
        if kind == "L":
            w = [rng.randrange(0, threshold) for _ in range(8)]
        else:
            w = [rng.randrange(0, 256) for _ in range(8)]
            w[rng.randrange(8)] = rng.randrange(threshold, 256)
        log.extend(w)
    return log


def write(name, log, limit, threshold):
    with open(os.path.join(HERE, name + ".hex"), "w") as f:
        f.write("# limit %d threshold %02X\n" % (limit, threshold))
        for i in range(0, len(log), 16):
            f.write(" ".join("%02X" % b for b in log[i:i + 16]) + "\n")
    for lang, english in (("en", True), ("cn", False)):
        with open(os.path.join(HERE, "%s.%s.txt" % (name, lang)), "w", encoding="utf-8") as f:
            f.write("\n".join(decode(log, limit, threshold, english)) + "\n")


def main():
    rng = random.Random(7)
    # Four qualifying windows from the start: found at k = 3 (limit of group A).
    write("mark-first-window", windows("HHHH" + "L" * 6, 0x80, rng), 3001, 0x80)
    # Two high, one low, then three high: found at k = 5, after the low window.
    write("mark-after-low", windows("HHLHHHL", 0x80, rng) + [0x00] * 3, 2001, 0x80)
    # Never four: a low window every third, threshold 0A ("(Hex: A)"), the
    # whole walk of group A (375 windows: the tags at k = 9, 10, 99, 100).
    write("mark-none-a", windows("LHH" * 125, 0x0A, rng), 3001, 0x0A)
    # The walk of the other groups (250 windows) over a log that stops short:
    # the rest reads 0, wholly below the threshold.
    write("mark-none-short", windows("HHLL" * 10, 0x41, rng), 2001, 0x41)
    # Voltages at the exact two-decimal ties (samples 20, 60, A0, E0: 0.625 V
    # ...) as the last and the least sample of a window, beside the extremes.
    tie = [0x00]
    for t in (0x20, 0x60, 0xA0, 0xE0):
        tie += [0xFF, 0xF0, 0xE1, 0xE2, 0xFE, 0xE3, 0xF1, t]
    write("mark-ties", tie, 2001, 0xFF)


if __name__ == "__main__":
    main()
