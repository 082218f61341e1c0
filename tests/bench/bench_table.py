#!/usr/bin/python3
"""Gathers the rows the benchmark programs emitted ("@bench-row {JSON}" lines) into
one table on standard output and a JSON file, so runs can be compared.

  bench_table.py ROWS RESULTS_JSON
A copy of RESULTS_JSON goes to history/<time>.json beside it.

  bench_table.py --check ROWS SUBJECT
fails unless ROWS holds at least one row of SUBJECT and every row is well formed."""
import datetime
import json
import os
import platform
import subprocess
import sys

PREFIX = "@bench-row "


def figure(value, unit):
    if value is None:
        return "-"
    return f"{value:.4g} {unit}"


def peak(kb):
    return "-" if kb is None else f"{kb / 1024:.1f} MB"


def table(rows):
    head = ["benchmark", "compared", "ours", "peer", "ratio", "target", "holds",
            "peak ours", "peak peer"]
    body = []
    for r in rows:
        holds = {True: "yes", False: "NO", None: "-"}[r["holds"]]
        ratio = "-" if r["ratio"] is None else f"{r['ratio']:.3f}"
        body.append([r["name"], r["compared"], figure(r["ours"], r["unit"]),
                     figure(r["peer"], r["unit"]), ratio, r["target"] or "-", holds,
                     peak(r["ours_peak_kb"]), peak(r["peer_peak_kb"])])
    widths = [max(len(line[i]) for line in [head] + body) for i in range(len(head))]
    out = []
    for n, line in enumerate([head] + body):
        out.append("| " + " | ".join(c.ljust(w) for c, w in zip(line, widths)) + " |")
        if n == 0:
            out.append("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    return "\n".join(out)


def git(*args):
    try:
        return subprocess.run(["git", *args], capture_output=True, text=True,
                              check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return ""


KEYS = {"subject": str, "name": str, "compared": str, "unit": str, "ours": float,
        "peer": float, "ratio": float, "target": str, "holds": bool,
        "ours_peak_kb": int, "peer_peak_kb": int, "rounds": int, "quick": bool}
NULLABLE = {"peer", "ratio", "holds", "ours_peak_kb", "peer_peak_kb"}


def read_rows(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith(PREFIX):
                rows.append(json.loads(line[len(PREFIX):]))
    return rows


def row_problem(row):
    for key, kind in KEYS.items():
        if key not in row:
            return f"no {key}"
        value = row[key]
        if value is None and key in NULLABLE:
            continue
        if kind is float and isinstance(value, (int, float)) and not isinstance(value, bool):
            continue
        if not isinstance(value, kind) or (kind is int and isinstance(value, bool)):
            return f"{key} is {value!r}"
    if row["ours"] <= 0 or row["rounds"] < 1 or not row["name"]:
        return "no measurement"
    return None


def check(path, subject):
    rows = read_rows(path)
    for row in rows:
        problem = row_problem(row)
        if problem:
            print(f"bench: malformed row ({problem}): {row}", file=sys.stderr)
            return 1
    if not any(row["subject"] == subject for row in rows):
        print(f"bench: {subject} emitted no row", file=sys.stderr)
        return 1
    return 0


def main(argv):
    if argv[1] == "--check":
        return check(argv[2], argv[3])
    rows = read_rows(argv[1])
    now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
    results = {
        "time": now.isoformat(),
        "commit": git("rev-parse", "HEAD"),
        "changed_files": bool(git("status", "--porcelain", "--untracked-files=no")),
        "machine": {"cpus": os.cpu_count(), "system": platform.platform(),
                    "load": os.getloadavg()[0]},
        "rows": rows,
    }
    with open(argv[2], "w", encoding="utf-8") as f:
        json.dump(results, f, indent=1)
    history = os.path.join(os.path.dirname(argv[2]), "history")
    os.makedirs(history, exist_ok=True)
    with open(os.path.join(history, now.strftime("%Y%m%dT%H%M%SZ") + ".json"), "w",
              encoding="utf-8") as f:
        json.dump(results, f, indent=1)
    print(table(rows))
    print(f"({len(rows)} rows; {argv[2]})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
