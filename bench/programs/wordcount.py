# Word count: lines, words and bytes of a generated text, as wc counts
# them, and how many words have each length.  The text comes line by line
# from a linear congruential generator picking words from a vocabulary,
# and each line is scanned character by character.
import sys

VOCABULARY = ["the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog", "a", "interpreter",
              "of", "embedded", "scripts", "runs", "with", "host", "functions", "and", "arrays", "in"]


def main():
    lines = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    size = len(VOCABULARY)
    seed = 42
    lengths = [0] * 32
    total_lines = total_words = total_bytes = longest = 0
    for _ in range(lines):
        # One line of 5 to 16 words, separated by one or two blanks.
        seed = (seed * 3877 + 29573) % 139968
        count = 5 + seed % 12
        line = ""
        for w in range(count):
            seed = (seed * 3877 + 29573) % 139968
            if w > 0:
                line = line + ("  " if seed % 7 == 0 else " ")
            line = line + VOCABULARY[seed % size]

        # Count it.
        in_word = False
        word_length = 0
        for c in line:
            if c == " ":
                if in_word:
                    lengths[word_length] += 1
                    if word_length > longest:
                        longest = word_length
                    in_word = False
            else:
                if not in_word:
                    total_words += 1
                    in_word = True
                    word_length = 0
                word_length += 1
        if in_word:
            lengths[word_length] += 1
            if word_length > longest:
                longest = word_length
        total_lines += 1
        total_bytes += len(line) + 1

    print("%d %d %d" % (total_lines, total_words, total_bytes))
    for i in range(1, longest + 1):
        if lengths[i] > 0:
            print("length %d: %d" % (i, lengths[i]))


main()
