import re

def main():
    hits = 0
    total = 0
    for i in range(20000):
        line = "host" + str(i) + ".example.com port=" + str(i % 1000)
        m = re.match(r"^host([0-9]+)\.example\.com port=([0-9]+)$", line)
        if m:
            total += int(m.group(2))
            hits += 1
    print(hits, total)

main()
