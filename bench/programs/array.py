def main():
    a = {}
    n = 100000
    i = 0
    while i < n:
        a[i] = i * 2
        i += 1
    total = 0
    for _ in range(5):
        i = 0
        while i < n:
            total = total + a[i]
            i += 1
    print(total)

main()
