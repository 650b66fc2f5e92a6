# Regular expressions: a match with one captured group over log lines.
import re
import sys


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    lines = []
    for k in range(64):
        lines.append("user%d session=%d status=%s" % (k, k * 7919 % 100000, "failed" if k % 5 == 0 else "ok"))
    pattern = re.compile(r"session=([0-9]+) status=ok")
    hits = total = 0
    for i in range(n):
        m = pattern.search(lines[i % 64])
        if m:
            total += int(m.group(1))
            hits += 1
    print("%d %d" % (hits, total))


main()
