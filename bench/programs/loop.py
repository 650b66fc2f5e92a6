def main():
    total = 0
    i = 0
    while i < 3000000:
        total = total + i * 3 % 7
        i += 1
    print(total)

main()
