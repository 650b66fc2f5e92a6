def main():
    s = ""
    i = 0
    while i < 20000:
        s = s + str(i) + ","
        i += 1
    print(len(s))

main()
