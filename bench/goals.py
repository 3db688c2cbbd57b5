"""Prints the host's figures from a bench/run.py JSON report against the
performance goals, one line each, with "ok" or "below goal".

Usage: goals.py REPORT.json
"""
import json
import sys

# metric id, subject, least HOST/subject ratio (ratios are >1 when HOST is better)
GOALS = [
    ("w1_ms", "limit", 1 / 1.3, "W1 cold start within 1.3x of the limit"),
    ("w2_rps", "python", 6.0, "W2 at least 6x Python"),
    ("w2_rps", "limit", 0.25, "W2 at least 0.25x the limit"),
    ("w3_rps", "limit", 0.6, "W3 at least 0.6x the limit"),
    ("w4_mbps", "python", 5.0, "W4 at least 5x Python"),
]
# metric id, most MiB
RSS_GOALS = [("w2_rss", 3.0, "W2 peak RSS at most 3 MiB"), ("w4_rss", 8.0, "W4 peak RSS at most 8 MiB")]


def main(path):
    metrics = {m["id"]: m for m in json.load(open(path))["metrics"]}
    print("  goals:")
    for key, subject, least, text in GOALS:
        ratio = metrics.get(key, {}).get("ratios", {}).get(f"HOST/{subject}")
        if ratio is None:
            print(f"    {text}: no figure")
            continue
        verdict = "ok" if ratio >= least else "below goal"
        print(f"    {text}: HOST/{subject} {ratio:.2f} (needs {least:.2f}) {verdict}")
    for key, most, text in RSS_GOALS:
        host = metrics.get(key, {}).get("subjects", {}).get("HOST", {}).get("median")
        if host is None:
            print(f"    {text}: no figure")
            continue
        print(f"    {text}: {host:.2f} MiB {'ok' if host <= most else 'above goal'}")


if __name__ == "__main__":
    main(sys.argv[1])
