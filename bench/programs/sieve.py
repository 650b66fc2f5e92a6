# Sieve of Eratosthenes: the primes below n, counted, sieved `rounds` times
# over an array of flags.
import sys


def sieve(n):
    composite = [False] * n
    count = 0
    for i in range(2, n):
        if not composite[i]:
            count += 1
            for j in range(i * i, n, i):
                composite[j] = True
    return count


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 1000000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    count = 0
    for _ in range(rounds):
        count = sieve(n)
    print("primes below %d: %d" % (n, count))


main()
