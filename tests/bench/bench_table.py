#!/usr/bin/python3
"""Gathers the rows the benchmark programs emitted ("@bench-row {JSON}" lines) into
one table on standard output and a JSON file, so runs can be compared.

  bench_table.py ROWS RESULTS_JSON
A copy of RESULTS_JSON goes to history/<time>.json beside it."""
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


def main(argv):
    rows = []
    with open(argv[1], encoding="utf-8") as f:
        for line in f:
            if line.startswith(PREFIX):
                rows.append(json.loads(line[len(PREFIX):]))
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
