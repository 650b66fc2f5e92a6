# A text of n characters scanned one character at a time by slicing.
import sys

n = int(sys.argv[1])
s = "abcdefghij" * (n // 10)
count = 0
for i in range(n):
    if s[i:i + 1] == "e":
        count += 1
print(count)
