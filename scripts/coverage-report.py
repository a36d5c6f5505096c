#!/usr/bin/env python3
"""Line and branch coverage of src/ from gcov's counts.

Reads every .gcno under --objects with the given gcov (a compilation unit whose .gcda never
arrived counts as not executed), merges what several units say about one source line (an
inline function of a header is compiled into many), and prints the figures per folder of src/,
the total, and the unreached lines as ranges per file. --uncovered writes them one a line as
file:line: text. Branches are the conditional ones; the edges gcov adds for exceptions are left
out, since no code here catches one that a test could provoke.
"""
import argparse
import collections
import json
import os
import subprocess
import sys


def gcov_units(gcov, objects):
    notes = sorted(os.path.join(d, f) for d, _, fs in os.walk(objects) for f in fs if f.endswith(".gcno"))
    for note in notes:
        out = subprocess.run([gcov, "--json-format", "--stdout", "--branch-probabilities", "--branch-counts",
                              "--object-directory", os.path.dirname(note), note],
                             cwd=os.path.dirname(note), capture_output=True, text=True)
        if out.returncode != 0:
            sys.exit(f"coverage-report: {gcov} failed on {note}: {out.stderr.strip()}")
        for text in out.stdout.splitlines():
            if text.strip():
                yield json.loads(text)


def merge(units, src):
    # lines[file][line] = [count, branch counts]; branch lists of equal shape are added up.
    lines = collections.defaultdict(dict)
    for unit in units:
        cwd = unit.get("current_working_directory", "")
        for entry in unit["files"]:
            path = os.path.realpath(os.path.join(cwd, entry["file"]))
            if not path.startswith(src + os.sep):
                continue
            rel = os.path.relpath(path, os.path.dirname(src))
            for line in entry["lines"]:
                branches = [b["count"] for b in line.get("branches", []) if not b.get("throw")]
                have = lines[rel].get(line["line_number"])
                if have is None:
                    lines[rel][line["line_number"]] = [line["count"], branches]
                    continue
                have[0] += line["count"]
                if len(have[1]) == len(branches):
                    have[1] = [a + b for a, b in zip(have[1], branches)]
                elif len(branches) > len(have[1]):
                    have[1] = branches
    return lines


def ranges(numbers):
    out, first, last = [], None, None
    for n in numbers:
        if first is not None and n == last + 1:
            last = n
            continue
        if first is not None:
            out.append(str(first) if first == last else f"{first}-{last}")
        first = last = n
    if first is not None:
        out.append(str(first) if first == last else f"{first}-{last}")
    return out


def pct(hit, total):
    return f"{100.0 * hit / total:5.1f}%" if total else "    -"


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--gcov", default="i686-w64-mingw32-gcov")
    ap.add_argument("--objects", required=True, help="folder of the product's objects (.gcno, .gcda)")
    ap.add_argument("--src", required=True, help="the src/ folder")
    ap.add_argument("--uncovered", help="write the unreached lines here, one a line")
    ap.add_argument("--min-lines", type=float, default=0, help="fail below this percentage of lines run")
    args = ap.parse_args()
    src = os.path.realpath(args.src)

    lines = merge(gcov_units(args.gcov, args.objects), src)
    if not lines:
        sys.exit("coverage-report: gcov reported no line of src/")

    folders = collections.defaultdict(lambda: [0, 0, 0, 0])  # lines hit, lines, branches hit, branches
    missed = {}
    for rel in sorted(lines):
        folder = os.path.dirname(rel)
        for number, (count, branches) in lines[rel].items():
            f = folders[folder]
            f[0] += count > 0
            f[1] += 1
            f[2] += sum(1 for b in branches if b > 0)
            f[3] += len(branches)
        missed[rel] = sorted(n for n, (count, _) in lines[rel].items() if count == 0)

    print(f"{'folder':<16}{'lines':>18}{'':>8}{'branches':>18}")
    total = [0, 0, 0, 0]
    for folder in sorted(folders):
        f = folders[folder]
        total = [a + b for a, b in zip(total, f)]
        print(f"{folder:<16}{f[0]:>8} / {f[1]:<6}{pct(f[0], f[1])}{f[2]:>10} / {f[3]:<6}{pct(f[2], f[3])}")
    print(f"{'total':<16}{total[0]:>8} / {total[1]:<6}{pct(total[0], total[1])}"
          f"{total[2]:>10} / {total[3]:<6}{pct(total[2], total[3])}")

    print("\nLines no test reaches:")
    for rel in sorted(missed):
        if missed[rel]:
            print(f"  {rel} ({len(missed[rel])}): {', '.join(ranges(missed[rel]))}")

    if args.uncovered:
        with open(args.uncovered, "w", encoding="utf-8") as out:
            for rel in sorted(missed):
                try:
                    with open(os.path.join(os.path.dirname(src), rel), encoding="utf-8", errors="replace") as f:
                        text = f.read().splitlines()
                except OSError:
                    text = []
                for n in missed[rel]:
                    out.write(f"{rel}:{n}: {text[n - 1].strip() if n <= len(text) else ''}\n")
        print(f"\n(one a line, with the source text: {args.uncovered})")
    if 100.0 * total[0] < args.min_lines * total[1]:
        sys.exit(f"coverage-report: {pct(total[0], total[1]).strip()} of the lines ran, below {args.min_lines:g}%")


if __name__ == "__main__":
    main()
