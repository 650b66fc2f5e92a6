# n appends of "0123456789" to one text.
import sys


def main(n):
    s = ""
    for _ in range(n):
        s += "0123456789"
    print(len(s))


main(int(sys.argv[1]))
