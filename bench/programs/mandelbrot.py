# mandelbrot: the n-by-n bitmap of the Mandelbrot set over [-1.5, 0.5] x
# [-1, 1], 50 iterations a point.  The bitmap's bytes, eight pixels each as
# a PBM file packs them, are summed into a checksum instead of written out.
import sys


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 200
    checksum = black = 0
    for y in range(n):
        ci = 2.0 * y / n - 1.0
        byte = bits = 0
        for x in range(n):
            cr = 2.0 * x / n - 1.5
            zr = zi = tr = ti = 0.0
            i = 0
            while i < 50 and tr + ti <= 4.0:
                zi = 2.0 * zr * zi + ci
                zr = tr - ti + cr
                tr = zr * zr
                ti = zi * zi
                i += 1
            byte = byte * 2
            if tr + ti <= 4.0:
                byte += 1
                black += 1
            bits += 1
            if bits == 8 or x == n - 1:
                while bits < 8:
                    byte = byte * 2
                    bits += 1
                checksum = (checksum * 31 + byte) % 1000000007
                byte = bits = 0
    print("P4 %d %d" % (n, n))
    print("black %d checksum %d" % (black, checksum))


main()
