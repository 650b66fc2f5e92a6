# matrix-norm: the largest singular value of the infinite matrix
# A(i, j) = 1 / ((i + j) * (i + j + 1) / 2 + i + 1), by the power method.
import sys


def multiply_av(n, v, out):
    """out = A * v"""
    for i in range(n):
        total = 0.0
        for j in range(n):
            ij = i + j
            total = total + v[j] / (ij * (ij + 1) / 2 + i + 1)
        out[i] = total


def multiply_atv(n, v, out):
    """out = transpose(A) * v"""
    for i in range(n):
        total = 0.0
        for j in range(n):
            ij = i + j
            total = total + v[j] / (ij * (ij + 1) / 2 + j + 1)
        out[i] = total


def multiply_atav(n, v, out, scratch):
    """out = transpose(A) * A * v"""
    multiply_av(n, v, scratch)
    multiply_atv(n, scratch, out)


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    u = [1.0] * n
    v = [0.0] * n
    scratch = [0.0] * n
    for _ in range(10):
        multiply_atav(n, u, v, scratch)
        multiply_atav(n, v, u, scratch)
    vbv = vv = 0.0
    for i in range(n):
        vbv = vbv + u[i] * v[i]
        vv = vv + v[i] * v[i]
    print("%.9f" % ((vbv / vv) ** 0.5))


main()
