"""Prints the host's figures from a bench/run.py JSON report against the
performance goals, one line each, with "ok" or "below goal".

Usage: goals.py REPORT.json
"""
import json
import sys

# metric id, subject, least HOST/subject ratio (ratios are >1 when HOST is better).
# limit1 does what a host must per request with no JSON work; limit batches
# replies, which a host may not, and is the ceiling only where limit1 adds nothing.
GOALS = [
    ("w1_ms", "limit1", 0.95, "W1 cold start at least 0.95x limit1"),
    ("w2_rps", "limit1", 0.75, "W2 at least 0.75x limit1"),
    ("w3_rps", "limit1", 0.9, "W3 at least 0.9x limit1"),
    ("w4_mbps", "limit", 0.85, "W4 at least 0.85x the limit"),
    ("w5_rps", "limit1", 0.95, "W5 at least 0.95x limit1"),
    ("w6_mbps", "limit1", 0.9, "W6 at least 0.9x limit1"),
]
# metric id, most MiB
RSS_GOALS = [("w2_rss", 2.5, "W2 peak RSS at most 2.5 MiB"), ("w4_rss", 4.0, "W4 peak RSS at most 4 MiB")]


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
