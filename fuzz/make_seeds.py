#!/usr/bin/env python3
"""Writes the seed sessions of every module target into fuzz/corpus/<target>/.

The driver reads any bytes, so a seed only has to start the fuzzer near
interesting sessions: a note played through a whole envelope, slices of odd
lengths, every input at values that break arithmetic, fewer pins than the
module describes, and panel texts. Run it again after changing the input
format in plugin_driver.cpp.
"""
import os
import struct
import sys

OPEN, WRITE, STATUS, MIDI, OTHER, SLICE, BLOCKS, QUEUED, JUMP, PANEL = 1, 2, 4, 5, 6, 7, 8, 9, 10, 11


def header(pin_offset=0, null_mask=0, keep_mask=False, call_sleeping=False):
    return struct.pack("<IBIBB", 1000, pin_offset + 5, null_mask, 0 if keep_mask else 1, 1 if call_sleeping else 0)


def special(k):  # one of the driver's special floats
    return bytes([k << 2])


def control(v):  # a control value 0..10
    return bytes([2]) + struct.pack("<H", int(v * 6553.5))


def write(pin, value, status=1):
    # Stream shape 0 (constant); the status byte follows.
    return bytes([WRITE, pin, 0]) + value + bytes([1, status])


def note(key, velocity, on=True):
    return bytes([MIDI, 1 if on else 0, 0, key, velocity, 1])


def slice_(n):
    return bytes([SLICE]) + struct.pack("<H", n)


def seeds():
    out = {}
    pins = range(16)
    voice = header() + bytes([OPEN])
    for p in pins:
        voice += write(p, control(5.0))
    voice += note(60, 100) + bytes([BLOCKS, 3]) + note(60, 0, on=False) + bytes([BLOCKS, 7, QUEUED])
    out["voice"] = voice

    slices = header() + bytes([OPEN]) + note(64, 90)
    for n in (0, 1, 7, 0, 255, 256, 1, 500, 2048, 3):
        slices += slice_(n)
    out["slices"] = slices

    extreme = header(call_sleeping=True) + bytes([OPEN])
    for k, p in zip((17, 15, 16, 13, 14, 10, 11, 18, 1, 3, 7, 12, 17, 15, 16, 13), pins):
        extreme += write(p, special(k))
    extreme += note(127, 127) + bytes([BLOCKS, 2]) + note(0, 1) + bytes([BLOCKS, 2])
    out["extreme"] = extreme

    fewer = header(pin_offset=-3, null_mask=0x5, keep_mask=True) + bytes([OPEN])
    for p in pins:
        fewer += write(p, control(9.9), status=2)
    fewer += bytes([STATUS, 200, 0, 1, STATUS, 255, 3, 1]) + note(60, 100) + bytes([BLOCKS, 2])
    out["fewer_pins"] = fewer

    more = header(pin_offset=4) + bytes([OPEN]) + bytes([STATUS, 20, 1]) + note(72, 64) + bytes([BLOCKS, 1])
    more += bytes([OTHER, 0, 0, 0, 0, 0, 0, 0, 0, JUMP]) + struct.pack("<I", 0xFFFFFF00) + bytes([BLOCKS, 2])
    out["more_pins"] = more

    def text(s):
        return struct.pack("<H", len(s)) + s

    panel = header() + bytes([OPEN])
    for value in (0, 1, 31, 32, 1000, 0xFFFFFFFF):
        panel += bytes([PANEL, 4, 0, 0, 0]) + struct.pack("<I", value) + bytes([0]) + text(b"17") + struct.pack("<H", 0) + bytes([0, 0])
    panel += bytes([PANEL, 1, 2, 2]) + bytes([PANEL, 0, 0, 0, 2])
    panel += bytes([PANEL, 5, 0, 0]) + struct.pack("<I", 7) + bytes([0]) + text(b"x" * 300) + struct.pack("<H", 3) + b"a\0b\0c\0"
    out["panel"] = panel
    return out


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    # Without names: every module target that already has these seeds.
    targets = sys.argv[1:] or sorted(d for d in os.listdir(root) if os.path.isfile(os.path.join(root, d, "seed_voice")))
    for target in targets:
        folder = os.path.join(root, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds().items():
            with open(os.path.join(folder, "seed_" + name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
