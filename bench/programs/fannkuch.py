# fannkuch-redux: flips of pancake stacks over all permutations of 1..n.
import sys


def fannkuch(n):
    perm = [0] * n
    perm1 = list(range(n))
    count = [0] * n
    max_flips = checksum = perm_count = 0
    r = n
    while True:
        while r != 1:
            count[r - 1] = r
            r -= 1
        for i in range(n):
            perm[i] = perm1[i]
        flips = 0
        k = perm[0]
        while k != 0:
            i, j = 0, k
            while i < j:
                perm[i], perm[j] = perm[j], perm[i]
                i += 1
                j -= 1
            flips += 1
            k = perm[0]
        if flips > max_flips:
            max_flips = flips
        if perm_count % 2 == 0:
            checksum += flips
        else:
            checksum -= flips

        # The next permutation in the counting order.
        while True:
            if r == n:
                return checksum, max_flips
            perm0 = perm1[0]
            for i in range(r):
                perm1[i] = perm1[i + 1]
            perm1[r] = perm0
            count[r] -= 1
            if count[r] > 0:
                break
            r += 1
        perm_count += 1


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 7
    checksum, max_flips = fannkuch(n)
    print(checksum)
    print("Pfannkuchen(%d) = %d" % (n, max_flips))


main()
