# fasta: DNA sequences in FASTA format, one repeated from a fixed text and
# two drawn at random, through a linear congruential generator, from tables
# of nucleotide probabilities.
import sys

ALU = ("GGCCGGGCGCGGTGGCTCACGCCTGTAATCCCAGCACTTTGG"
       "GAGGCCGAGGCGGGCGGATCACCTGAGGTCAGGAGTTCGAGA"
       "CCAGCCTGGCCAACATGGTGAAACCCCGTCTCTACTAAAAAT"
       "ACAAAAATTAGCCGGGCGTGGTGGCGCGCGCCTGTAATCCCA"
       "GCTACTCGGGAGGCTGAGGCAGGAGAATCGCTTGAACCCGGG"
       "AGGCGGAGGTTGCAGTGAGCCGAGATCGCGCCACTGCACTCC"
       "AGCCTGGGCGACAGAGCGAGACTCCGTCTCAAAAA")

IUB = ["a", "c", "g", "t", "B", "D", "H", "K", "M", "N", "R", "S", "V", "W", "Y"]
IUB_P = [0.27, 0.12, 0.12, 0.27] + [0.02] * 11
HOMO = ["a", "c", "g", "t"]
HOMO_P = [0.3029549426680, 0.1979883004921, 0.1975473066391, 0.3015094502008]


def repeat_fasta(out, source, n):
    width, size, k = 60, len(source), 0
    while n > 0:
        m = n if n < width else width
        if k + m <= size:
            line = source[k:k + m]
        else:
            line = source[k:] + source[:k + m - size]
        out.append(line)
        k = (k + m) % size
        n -= m


def random_fasta(out, letters, probabilities, n, seed):
    count = len(letters)
    cumulative = []
    total = 0.0
    for p in probabilities:
        total = total + p
        cumulative.append(total)
    last = seed[0]
    while n > 0:
        m = n if n < 60 else 60
        parts = []
        for _ in range(m):
            last = (last * 3877 + 29573) % 139968
            r = last / 139968
            c = 0
            while c < count - 1 and cumulative[c] <= r:
                c += 1
            parts.append(letters[c])
        out.append("".join(parts))
        n -= m
    seed[0] = last


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    out = [">ONE Homo sapiens alu"]
    repeat_fasta(out, ALU, 2 * n)
    seed = [42]
    out.append(">TWO IUB ambiguity codes")
    random_fasta(out, IUB, IUB_P, 3 * n, seed)
    out.append(">THREE Homo sapiens frequency")
    random_fasta(out, HOMO, HOMO_P, 5 * n, seed)
    out.append("")
    sys.stdout.write("\n".join(out))


main()
