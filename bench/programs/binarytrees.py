# binary-trees: allocate and walk many perfect binary trees.  A node is a
# list holding its two children; a leaf is an empty list.
import sys


def bottom_up(depth):
    if depth > 0:
        return [bottom_up(depth - 1), bottom_up(depth - 1)]
    return []


def check(node):
    if not node:
        return 1
    return 1 + check(node[0]) + check(node[1])


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    min_depth = 4
    max_depth = max(min_depth + 2, n)

    stretch_depth = max_depth + 1
    print("stretch tree of depth %d\t check: %d" % (stretch_depth, check(bottom_up(stretch_depth))))

    long_lived = bottom_up(max_depth)

    for depth in range(min_depth, max_depth + 1, 2):
        iterations = 1 << (max_depth - depth + min_depth)
        total = 0
        for _ in range(iterations):
            total += check(bottom_up(depth))
        print("%d\t trees of depth %d\t check: %d" % (iterations, depth, total))
    print("long lived tree of depth %d\t check: %d" % (max_depth, check(long_lived)))


main()
