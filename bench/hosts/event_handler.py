# The event benchmark in Python: the same generated lines through the same
# handler in a plain loop, the patterns compiled once as a Python program
# would.  Prints the sum of the scores and the microseconds per event.
import re
import sys
import time

LEVELS = ("INFO", "ERROR", "WARN", "DEBUG")
USERS = ("alice", "bob", "carol", "dave", "erin", "frank")
ACTIONS = ("login", "read", "logout")

LEVEL = re.compile(r"^[0-9]+-[0-9]+-[0-9]+ [0-9:]+ (ERROR|WARN) ")
LOGIN = re.compile(r"user=([a-z]+)[0-9]* action=login")


def event_line(i):
    return "%s2026-12-%02d %02d:%02d:%02d %s user=%s%d action=%s bytes=%d" % (
        "# " if i % 11 == 0 else "", 1 + i % 28, i % 24, (i * 7) % 60, (i * 13) % 60, LEVELS[(i * 3) % 4],
        USERS[(i * 5) % 6], i % 97, ACTIONS[i % 3], (i * 7919) % 100000)


def on_event(line):
    if LEVEL.search(line):
        m = LOGIN.search(line)
        if m:
            return len(m.group(1))
        return 1
    return 0


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 300000
    lines = [event_line(i) for i in range(n)]
    start = time.perf_counter()
    total = 0
    for line in lines:
        total += on_event(line)
    elapsed = time.perf_counter() - start
    print("sum %d" % total)
    print("us_per_event %.3f" % (elapsed * 1e6 / n))


main()
