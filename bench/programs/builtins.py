# Built-in calls: slicing, upper and len on short pieces of a text.
import sys


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    s = "The quick brown fox jumps over the lazy dog"
    total = hits = 0
    for i in range(n):
        start = i % 40
        piece = s[start:start + 4].upper()
        total += len(piece)
        if piece == "OVER":
            hits += 1
    print("%d %d" % (total, hits))


main()
