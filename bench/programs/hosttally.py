# Host tally: requests and bytes per client address over generated log
# lines, in a dict keyed by the address text.  The lines come from a linear
# congruential generator; 5,000 addresses.
import sys


def main():
    lines = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    hits = {}
    byte_counts = {}
    seed = 42
    for _ in range(lines):
        seed = (seed * 3877 + 29573) % 139968
        client = seed % 5000
        address = "10.0." + str(client // 250) + "." + str(client % 250)
        hits[address] = hits.get(address, 0) + 1
        byte_counts[address] = byte_counts.get(address, 0) + seed % 1500
    distinct = 0
    total = 0
    for address in hits:
        distinct += 1
        total += byte_counts[address]
    print("%d addresses, %d bytes" % (distinct, total))
    print("10.0.0.1: %d requests, %d bytes" % (hits["10.0.0.1"], byte_counts["10.0.0.1"]))
    print("10.0.19.249: %d requests" % hits["10.0.19.249"])


main()
