#!/usr/bin/env python3
"""Fault soak: many downloads with kestrune-cli into kestrune-target processes
with random faults, single, gang (2 to 4 ports) and repeat (1 or 2 ports, 1
to 3 boards each), every result checked against what the faults must give:
the exit status, every CSV row of --log (port, board, outcome, exit), the
number of rows (only boards that announced), and every image the targets
received (--out: the whole image after a success, a prefix of it otherwise).

  tools/soak.py [BUILD_DIR] [RUNS] [SEED] [MODES]
  (defaults: build/native-release, 200, a random seed, single,gang,repeat)

Prints one line per mismatch and a summary: runs by mode, board outcomes by
kind, mismatches, wall time. Exit status 1 when anything did not match.
Not part of `make test`: it takes minutes (a few faults cost the 20 s reply
bound on purpose)."""

import csv
import os
import random
import signal
import subprocess
import sys
import tempfile
import time
from collections import Counter

BLOCK = 128
OUTCOMES = {  # exit status -> outcome text in the log
    0: "Success !", 6: "Not find device !", 7: "Error !", 8: "Program Error !",
    9: "Read time out !", 10: "User stop !", 13: "Verify Error !",
}


def pick_fault(rng, blocks, repeat, boards):
    """Target options for one line and the outcome (exit status) they must give.
    In repeat mode a reset is left out (the reset board announces again at
    once, as the same board, and rightly waits for an operator), and so are a
    hang-up, silence and a short reply before a board that would follow (that
    board would announce while the host still waits for its reply)."""
    block = rng.randint(1, blocks)
    options = []
    if rng.random() < 0.3:
        options += ["--noise", str(rng.randint(1, 12))]
    if rng.random() < 0.2:
        options += ["--reply-delay", str(rng.randint(1, 8))]
    if rng.random() < 0.1:
        options += ["--no-verdict"]  # a boot loader that sends no verdict: still Success
    faults = [  # weight, options, outcome
        (40, [], 0),
        (10, ["--nak-block", "0"], 7),  # the header is refused
        (20, ["--nak-block", str(block)], 8),
        (8, ["--corrupt-block", str(block)], 13),  # line noise the target's check finds
        (0 if repeat else 10, ["--reset-after-block", str(block)], 8),  # Ready, not the reply
        (10 if boards == 1 else 0, ["--hangup-after-block", str(block)], 9),  # device gone
        # These cost the 20 s bound; a next board would come within it.
        (2 if boards == 1 else 0, ["--silent-after-block", str(block)], 9),
        (2 if boards == 1 else 0, ["--short-reply", str(block)], 9),
    ]
    weight, fault, code = rng.choices(faults, weights=[f[0] for f in faults])[0]
    return options + fault, code


def read_rows(log):
    """(port, board, outcome, exit) of every row after the header."""
    with open(log, newline="") as f:
        return [(r[1], r[2], r[6], r[7]) for r in list(csv.reader(f))[1:] if len(r) >= 8]


class Soak:
    def __init__(self, build, seed, modes):
        self.modes = modes
        self.cli = os.path.join(build, "cli", "kestrune-cli")
        self.target = os.path.join(build, "target", "kestrune-target")
        self.rng = random.Random(seed)
        self.runs = Counter()
        self.outcomes = Counter()
        self.mismatches = []

    def mismatch(self, run, text):
        self.mismatches.append(f"run {run}: {text}")
        print(f"MISMATCH run {run}: {text}", flush=True)

    def start_target(self, options, out):
        target = subprocess.Popen([self.target, "--timeout", "300", "--out", out] + options,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        return target, target.stdout.readline().strip()

    def one(self, run, folder):
        mode = self.rng.choice(self.modes)
        self.runs[mode] += 1
        size = self.rng.randint(1, 6000)
        image = self.rng.randbytes(size)
        blocks = (size + BLOCK - 1) // BLOCK
        image_path = os.path.join(folder, "image.bin")
        with open(image_path, "wb") as f:
            f.write(image)
        ports = {"single": 1, "gang": self.rng.randint(2, 4), "repeat": self.rng.randint(1, 2)}[mode]
        lines = []  # (port, target, out path, boards, expected exit of each board)
        damaged = {}  # line index -> the image as a target with --corrupt-block receives it
        for index in range(ports):
            boards = self.rng.randint(1, 3) if mode == "repeat" else 1
            options, code = pick_fault(self.rng, blocks, mode == "repeat", boards)
            if code == 13 and "--no-verdict" in options:
                code = 0  # nobody tells the host: Success, unverified, with the damage
            if "--corrupt-block" in options:
                block = int(options[options.index("--corrupt-block") + 1])
                copy = bytearray(image)
                copy[(block - 1) * BLOCK] ^= 1
                damaged[index] = bytes(copy)
            if boards > 1:
                options += ["--boards", str(boards), "--swap-gap", "700"]
            out = os.path.join(folder, f"rx{index}.bin")
            target, port = self.start_target(options, out)
            # A reply fault fires once per target run: on its first board.
            lines.append((port, target, out, boards, [code] + [0] * (boards - 1)))
        log = os.path.join(folder, "board.log")
        args = [self.cli, "download", "--log", log]
        for port, *_ in lines:
            args += ["--port", port]
        if mode == "repeat":
            args += ["--repeat", "--gap", "300"]
        # Repeat mode ends by itself when every device has gone after its last
        # board; a target whose last board failed waits for the host to leave,
        # so once every board has its row the run gets the operator's Ctrl+C.
        want_rows = sum(boards for *_, boards, _ in lines)
        err_path = os.path.join(folder, "stderr.txt")
        with open(err_path, "w") as err_file:
            cli = subprocess.Popen(args + [image_path], stdout=subprocess.DEVNULL, stderr=err_file)
            deadline = time.monotonic() + 240
            complete_since = None
            while cli.poll() is None and time.monotonic() < deadline:
                time.sleep(0.05)
                if mode != "repeat" or complete_since is not None:
                    if complete_since is not None and time.monotonic() - complete_since > 1.5:
                        cli.send_signal(signal.SIGINT)
                        complete_since = float("inf")
                    continue
                if os.path.exists(log) and len(read_rows(log)) >= want_rows:
                    complete_since = time.monotonic()
            if cli.poll() is None:
                cli.kill()
                cli.wait()
                status = None
            else:
                status = cli.returncode
        err = open(err_path).read()
        for _, target, *_ in lines:
            try:
                target.wait(timeout=30)
            except subprocess.TimeoutExpired:
                target.kill()
                target.wait()

        expected_rows = []
        for index, (port, _, out, boards, codes) in enumerate(lines):
            for board, code in enumerate(codes, 1):
                expected_rows.append((port, str(board), OUTCOMES[code], str(code)))
                self.outcomes[OUTCOMES[code]] += 1
                path = out if boards == 1 else out.replace(".bin", f"-{board}.bin")
                received = open(path, "rb").read() if os.path.exists(path) else None
                if index in damaged and board == 1:
                    if received != damaged[index]:
                        self.mismatch(run, f"{mode} {port} board {board}: not the damaged image")
                elif code == 0 and received != image:
                    self.mismatch(run, f"{mode} {port} board {board}: image differs")
                if code not in (0, 13) and received is not None and received != image[:len(received)]:
                    self.mismatch(run, f"{mode} {port} board {board}: received bytes not a prefix")
        if mode == "repeat":
            want = 12 if any(c for *_, codes in lines for c in codes) else 0
        else:
            want = next((codes[0] for *_, codes in lines if codes[0]), 0)
        if status != want:
            faults = [" ".join(target.args[4:]) for _, target, *_ in lines]
            self.mismatch(run, f"{mode}: exit {status} (None: hung), expected {want}; "
                          f"faults {faults}; {err[-600:]}")
        rows = read_rows(log)
        if sorted(rows) != sorted(expected_rows):
            self.mismatch(run, f"{mode}: log rows {sorted(rows)}, expected {sorted(expected_rows)}")
        os.remove(log)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/native-release"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else random.randrange(1 << 30)
    modes = sys.argv[4].split(",") if len(sys.argv) > 4 else ["single", "gang", "repeat"]
    soak = Soak(build, seed, modes)
    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="kestrune-soak-") as folder:
        for run in range(1, runs + 1):
            soak.one(run, folder)
            for name in os.listdir(folder):
                os.remove(os.path.join(folder, name))
    wall = time.monotonic() - started
    print(f"soak: seed {seed}, {runs} runs ({', '.join(f'{k} {v}' for k, v in sorted(soak.runs.items()))})")
    print(f"soak: boards by outcome: {', '.join(f'{k} {v}' for k, v in soak.outcomes.most_common())}")
    print(f"soak: {len(soak.mismatches)} mismatches, wall time {wall:.0f} s")
    return 1 if soak.mismatches else 0


if __name__ == "__main__":
    sys.exit(main())
