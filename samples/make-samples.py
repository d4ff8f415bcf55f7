#!/usr/bin/env python3
"""Writes the demo firmware files in this folder. They are committed; run this
only to change them, then update their sizes and checksums in the README.

demo-firmware.hex  Intel HEX: 4 KiB at 0x0000, a gap of 0xFF, 512 bytes of text
                   at 0x2000, then an extended linear address record (type 04,
                   0x0001) and 1 KiB at 0x10000. Image: 0x10400 bytes.
demo-firmware.bin  8 KiB raw binary.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def record(rtype, offset, data):
    body = bytes([len(data), offset >> 8, offset & 0xFF, rtype]) + bytes(data)
    checksum = (-sum(body)) & 0xFF
    return ":" + (body + bytes([checksum])).hex().upper() + "\r\n"


def pattern(length, seed):
    # A small linear congruential sequence: varied bytes, same every run.
    state, out = seed, bytearray()
    for _ in range(length):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((state >> 16) & 0xFF)
    return bytes(out)


def data_records(base_offset, data):
    return "".join(record(0x00, base_offset + i, data[i:i + 16]) for i in range(0, len(data), 16))


def main():
    code = pattern(0x1000, 7)
    text = b"Kestrune demo firmware. Made for the demo and the tests; not for any real device.\n"
    text = (text * 8)[:0x200]
    high = pattern(0x400, 11)
    hex_text = (data_records(0x0000, code) + data_records(0x2000, text) +
                record(0x04, 0x0000, [0x00, 0x01]) + data_records(0x0000, high) +
                record(0x01, 0x0000, []))
    with open(os.path.join(HERE, "demo-firmware.hex"), "w", newline="") as f:
        f.write(hex_text)
    with open(os.path.join(HERE, "demo-firmware.bin"), "wb") as f:
        f.write(pattern(0x2000, 23))


if __name__ == "__main__":
    main()
