#!/usr/bin/env python3
"""Runs cases of the regression suite (manifest.tsv) against a built geodot-cli.

    run_case.py --cli PATH NAME...      run these cases (CTest runs one per test)
    run_case.py --cli PATH --all        run every case and print a summary
    run_case.py --cli PATH --bless NAME...  write cases/NAME.expected from the current output
                                        of these info cases (then read each one!)

A case passes when the exit status and the output are the expected ones and no sanitizer
report appears on standard error (AddressSanitizer and UndefinedBehaviorSanitizer print there;
an ASan report also exits 1, the status of an ordinary failure, so stderr is what tells them
apart).

`info` cases compare standard output byte for byte with cases/NAME.expected.

`set` cases run `geodot-cli set ARGS -o OUT FILE` on a copy of the file and check, besides the
exit status, that the copy is unchanged and the checks of the row (separated by ";"):
    gps          `info OUT` succeeds and shows latitude 35 N, longitude 139 E
    keep=N       OUT ends with the input's bytes from offset N on (nothing there was lost)
    keep=N:M     OUT ends with the input's bytes N to M (exclusive): what followed was dropped
    app1len=N    OUT's first segment is APP1 with length field N
    tiffheader   OUT's EXIF block starts with a valid TIFF header ("II*\\0" or "MM\\0*")
    info~TEXT    `info OUT` shows TEXT;  !info~TEXT: it does not
    bytes~TEXT=N OUT holds the ASCII TEXT exactly N times
    hex~HEX=N    OUT holds the bytes HEX exactly N times
    stderr~TEXT  standard error contains TEXT
    nooutput     OUT was not created
Every successful set also has `info OUT` succeed without a sanitizer report.

A row whose status is "known-fault: ..." is run, and reported as skipped (exit 77) with the
description and what happened; it says so when the fault no longer shows in this build.
"""

import argparse
import os
import pathlib
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
SKIP = 77
BUDGET = 9.0  # seconds for all the commands of one case; CTest stops the test at 10
SANITIZER_SIGNS = ("AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer",
                   "runtime error:", "ThreadSanitizer", "MemorySanitizer")
GPS_LINES = ("北緯(N)or南緯(S)=北緯", "緯度(数値)=35度0分0秒",
             "東経(E)or西経(W)=東経", "経度(数値)=139度0分0秒")


class Row:
    def __init__(self, fields):
        (self.name, self.file, self.command, args, exit_text, checks, self.status,
         self.what) = fields
        self.args = [] if args == "-" else shlex.split(args)
        self.exit = int(exit_text)
        self.checks = [] if checks in ("-", "expected") else checks.split(";")

    @property
    def fault(self):
        return self.status[len("known-fault:"):].strip() if self.status.startswith("known-fault") else None


def load_manifest(directory):
    rows = {}
    for line in (directory / "manifest.tsv").read_text(encoding="utf-8").splitlines():
        if not line or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) != 8:
            raise SystemExit(f"manifest.tsv: bad line: {line!r}")
        row = Row(fields)
        rows[row.name] = row
    return rows


class Failure(Exception):
    pass


class Runner:
    def __init__(self, cli, directory):
        self.cli = os.path.abspath(cli)  # the commands run in a scratch folder
        self.dir = directory
        self.deadline = time.monotonic() + BUDGET
        self.home = tempfile.mkdtemp(prefix="geodot-regress-")
        # No settings file of the user's: the engine options keep their defaults.
        self.env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"))
        self.env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1")

    def close(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def run(self, args):
        left = self.deadline - time.monotonic()
        try:
            p = subprocess.run([self.cli] + args, capture_output=True, env=self.env,
                               cwd=self.home, timeout=max(left, 0.1))
        except subprocess.TimeoutExpired:
            raise Failure(f"geodot-cli {' '.join(args)}: no answer within {BUDGET:g} s (hang)")
        err = p.stderr.decode("utf-8", "replace")
        signs = [s for s in SANITIZER_SIGNS if s in err]
        if signs or p.returncode < 0 or p.returncode > 2:
            raise Failure(f"geodot-cli {' '.join(args)}: exit {p.returncode}, "
                          f"sanitizer/crash ({', '.join(signs) or 'signal'}):\n{err}")
        return p.returncode, p.stdout, err


def run_info(r, row):
    status, out, err = r.run(["info", str(r.dir / "cases" / row.file)])
    problems = []
    if status != row.exit:
        problems.append(f"exit {status}, expected {row.exit}; stderr: {err.strip()}")
    expected_path = r.dir / "cases" / (row.name + ".expected")
    if not expected_path.exists():
        problems.append(f"{expected_path.name} is missing (run_case.py --bless {row.name})")
    else:
        expected = expected_path.read_bytes()
        if out != expected:
            import difflib
            diff = difflib.unified_diff(expected.decode("utf-8", "replace").splitlines(),
                                        out.decode("utf-8", "replace").splitlines(),
                                        "expected", "actual", lineterm="")
            problems.append("listing differs:\n" + "\n".join(diff))
    return problems


def run_set(r, row):
    source = r.dir / "cases" / row.file
    original = source.read_bytes()
    work = pathlib.Path(r.home)
    copy = work / row.file
    copy.write_bytes(original)
    out_path = work / "out.jpg"
    status, _, err = r.run(["set"] + row.args + ["-o", str(out_path), str(copy)])
    problems = []
    if status != row.exit:
        problems.append(f"exit {status}, expected {row.exit}; stderr: {err.strip()}")
    if copy.read_bytes() != original:
        problems.append("the input file was changed")
    out = out_path.read_bytes() if out_path.exists() else None
    listing = None
    if out is not None and status == 0:
        info_status, listing_bytes, info_err = r.run(["info", str(out_path)])
        listing = listing_bytes.decode("utf-8", "replace")
        if info_status != 0:
            problems.append(f"info on the output: exit {info_status}; {info_err.strip()}")

    def need_output(check):
        if out is None:
            problems.append(f"{check}: no output file")
            return False
        return True

    for check in row.checks:
        if check == "nooutput":
            if out is not None:
                problems.append(f"nooutput: an output of {len(out)} bytes was written")
        elif check.startswith("stderr~"):
            if check[7:] not in err:
                problems.append(f"stderr lacks {check[7:]!r}: {err.strip()!r}")
        elif not need_output(check):
            continue
        elif check == "gps":
            missing = [line for line in GPS_LINES if listing is None or line not in listing]
            if missing:
                problems.append(f"gps: the output's listing lacks {missing}")
        elif check.startswith("keep="):
            start, _, end = check[5:].partition(":")
            tail = original[int(start):int(end)] if end else original[int(start):]
            if not out.endswith(tail):
                problems.append(f"{check}: the output does not end with the input's bytes "
                                f"{start}..{end or len(original)} ({len(tail)} bytes)")
        elif check.startswith("app1len="):
            n = int(check[8:])
            if out[2:4] != b"\xFF\xE1" or int.from_bytes(out[4:6], "big") != n:
                problems.append(f"app1len={n}: the output starts {out[:6].hex(' ')}")
        elif check == "tiffheader":
            if out[2:4] != b"\xFF\xE1" or out[12:16] not in (b"II*\0", b"MM\0*"):
                problems.append(f"tiffheader: the output's EXIF block starts {out[12:16].hex(' ')}")
        elif check.startswith("info~") or check.startswith("!info~"):
            negate = check.startswith("!")
            text = check.split("~", 1)[1]
            if listing is None or (text in listing) == negate:
                problems.append(f"{check}: not so in the output's listing:\n{listing}")
        elif check.startswith("hex~"):
            seq, n = check[4:].rsplit("=", 1)
            found = out.count(bytes.fromhex(seq))
            if found != int(n):
                problems.append(f"{check}: found {found} times")
        elif check.startswith("bytes~"):
            text, n = check[6:].rsplit("=", 1)
            found = out.count(text.encode("ascii"))
            if found != int(n):
                problems.append(f"{check}: found {found} times")
        else:
            raise SystemExit(f"{row.name}: unknown check {check!r}")
    return problems


def run_row(cli, directory, row):
    """Returns (result, message): result is 'pass', 'fail' or 'skip'."""
    r = Runner(cli, directory)
    try:
        try:
            problems = run_info(r, row) if row.command == "info" else run_set(r, row)
        except Failure as e:
            problems = [str(e)]
    finally:
        r.close()
    if row.fault:
        seen = "\n".join(problems) if problems else \
            "the case passes in this build (if it also passes with the sanitizers, remove the known-fault mark)"
        return "skip", f"SKIPPED: known fault: {row.fault}\n{seen}"
    if problems:
        return "fail", "\n".join(problems)
    return "pass", ""


def bless(cli, directory, row):
    if row.command != "info" or row.fault:
        raise SystemExit(f"{row.name}: only info cases without a known fault are blessed")
    r = Runner(cli, directory)
    try:
        _, out, _ = r.run(["info", str(directory / "cases" / row.file)])
    finally:
        r.close()
    (directory / "cases" / (row.name + ".expected")).write_bytes(out)
    print(f"wrote {row.name}.expected")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", required=True, type=pathlib.Path)
    parser.add_argument("--dir", type=pathlib.Path, default=HERE, help="folder of manifest.tsv")
    parser.add_argument("--all", action="store_true")
    parser.add_argument("--bless", action="store_true")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    rows = load_manifest(args.dir)
    names = list(rows) if args.all else args.names
    unknown = [n for n in names if n not in rows]
    if unknown or not names:
        raise SystemExit(f"no such case: {' '.join(unknown)}" if unknown else "no case given")
    if args.bless:
        for n in names:
            bless(args.cli, args.dir, rows[n])
        return 0
    results = {"pass": 0, "fail": 0, "skip": 0}
    for n in names:
        row = rows[n]
        result, message = run_row(args.cli, args.dir, row)
        results[result] += 1
        if result != "pass" or len(names) == 1:
            print(f"{result.upper()}: {n} ({row.command} {row.file}): {row.what}")
            if message:
                print(message)
    if len(names) > 1:
        print(f"{results['pass']} passed, {results['fail']} failed, {results['skip']} skipped")
    if results["fail"]:
        return 1
    return SKIP if results["skip"] and len(names) == 1 else 0


if __name__ == "__main__":
    sys.exit(main())
