# A JSON-like parser: generated records (objects, arrays, texts with escapes,
# integers, true/false/null), each parsed character by character into nested
# lists, with counts of what was met and the sum of every record's "score".
import sys

WORDS = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta", "iota", "kappa", "lambda", "mu"]


class Generator:
    def __init__(self):
        self.seed = 42

    def next(self, limit):
        self.seed = (self.seed * 3877 + 29573) % 139968
        return self.seed % limit

    def record(self, k):
        text = "{\"id\": " + str(k) + ", \"name\": \"" + WORDS[self.next(12)] + "_" + str(k) + "\""
        text = text + ", \"score\": " + str(self.next(2001) - 1000)
        text = text + ", \"active\": " + ("true" if self.next(2) == 1 else "false")
        text = text + ", \"tags\": ["
        for t in range(1 + self.next(4)):
            if t > 0:
                text = text + ", "
            text = text + "\"" + WORDS[self.next(12)] + "\""
        text = text + "], \"point\": {\"x\": " + str(self.next(1000)) + ", \"y\": " + str(self.next(1000) - 500) + "}"
        text = text + ", \"history\": ["
        for h in range(self.next(4)):
            if h > 0:
                text = text + ", "
            text = text + "[" + str(self.next(100)) + ", " + str(self.next(100)) + ", null]"
        text = text + "], \"note\": \"say \\\"" + WORDS[self.next(12)] + "\\\" twice\"}"
        return text


class Parser:
    def __init__(self, stats):
        self.stats = stats   # objects, arrays, texts, text bytes, numbers, number sum, literals, depth

    def parse(self, text):
        self.s = text
        self.pos = 0
        return self.value(1)

    def skip(self):
        while self.s[self.pos] == " ":
            self.pos += 1

    def value(self, depth):
        stats = self.stats
        if depth > stats[7]:
            stats[7] = depth
        self.skip()
        c = self.s[self.pos]
        if c == "{":
            stats[0] += 1
            self.pos += 1
            node = []
            self.skip()
            if self.s[self.pos] == "}":
                self.pos += 1
                return node
            while True:
                self.skip()
                node.append(self.text())
                self.skip()
                self.pos += 1   # the colon
                node.append(self.value(depth + 1))
                self.skip()
                c = self.s[self.pos]
                self.pos += 1
                if c == "}":
                    return node
        if c == "[":
            stats[1] += 1
            self.pos += 1
            node = []
            self.skip()
            if self.s[self.pos] == "]":
                self.pos += 1
                return node
            while True:
                node.append(self.value(depth + 1))
                self.skip()
                c = self.s[self.pos]
                self.pos += 1
                if c == "]":
                    return node
        if c == "\"":
            return self.text()
        if c == "t" or c == "f" or c == "n":
            stats[6] += 1
            word = "true" if c == "t" else "false" if c == "f" else "null"
            self.pos += len(word)
            return word
        # A number runs to the next delimiter.
        start = self.pos
        while self.s[self.pos] not in ",]} ":
            self.pos += 1
        number = int(self.s[start:self.pos])
        stats[4] += 1
        stats[5] += number
        return number

    def text(self):
        self.pos += 1   # the opening quote
        chars = ""
        while True:
            c = self.s[self.pos]
            self.pos += 1
            if c == "\"":
                break
            if c == "\\":
                c = self.s[self.pos]
                self.pos += 1
            chars = chars + c
        self.stats[2] += 1
        self.stats[3] += len(chars)
        return chars


def main():
    records = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    generator = Generator()
    stats = [0] * 8
    parser = Parser(stats)
    scores = 0
    for k in range(records):
        record = parser.parse(generator.record(k))
        # Fields alternate with their names.
        for i in range(0, len(record), 2):
            if record[i] == "score":
                scores += record[i + 1]
    print("records %d objects %d arrays %d texts %d bytes %d" % (records, stats[0], stats[1], stats[2], stats[3]))
    print("numbers %d sum %d literals %d depth %d scores %d" % (stats[4], stats[5], stats[6], stats[7], scores))


main()
