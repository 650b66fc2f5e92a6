#!/usr/bin/env python3
"""Writes random but syntactically valid ORVA scripts for the fuzz target.

Every loop is bounded by a counter of its own that the body cannot reach, so
the scripts end unless they fail.

    gen_scripts.py OUTDIR COUNT [SEED]
"""
import os
import random
import sys

R = random.Random()

VARS = ["a", "b", "c", "s", "t", "x", "arr", "arr2", "o", "$1", "$2", "$3", "g", "null", "While"]
TYPES = ["int32", "int64", "uint32", "uint64", "real", "string"]
BINOPS = ["+", "-", "*", "/", "%", "&", "|", "^", "&&", "||", "<<", ">>", "==", "!=", "<", "<=", ">", ">=",
          "like", "ilike", "match", "imatch", "~=", "."]
ATTRS = ["sec", "tm_sec", "min", "hour", "mday", "mon", "year", "yday", "wday", "isdst", "YEAR", "x"]
BUILTINS = ["abs", "classof", "d2x", "gmtime", "left", "length", "localtime", "lower", "max", "min", "pow",
            "right", "strftime", "substr", "time", "typeof", "upper", "AddrInRange", "AddrInSubnet",
            "SecondsToUptime", "echo", "fail", "nothing", "nosuch"]
FUNCS = []  # script functions: (name, parameter count)


def int_literal():
    return R.choice(["0", "1", "-1", "2", "7", "31", "32", "33", "63", "64", "65", "255", "-255",
                     "2147483647", "-2147483647", "2147483648", "-2147483648", "4294967295", "4294967296",
                     "9223372036854775807", "-9223372036854775807L", "9223372036854775808",
                     "18446744073709551615UL", "0xFFFFFFFF", "0x7FFFFFFFU", "-1U", "5L", "5UL", "5LU",
                     "0123", "09", "1000000", "100000000", "2000000000", "-2000000000", str(R.randint(-100, 100))])


def real_literal():
    return R.choice(["0.0", "1.5", "-1.5", "0.000001", "3.14159", "123456789012345678901234567890.0",
                     "-0.0", "99999999999999999999.5"])


def string_literal():
    pieces = ["", "abc", "10", "-5", "1.5", " 7 ", "0x10", "a*b?c", "(a)(b)", "[", "(", "\\x41", "\\0x",
              "\\n\\t", "%s%n%d", "%Y-%m-%d %H:%M:%S", "%c%c%c%c%c%c%c%c%c%c", "^(a|b)*$", "(((((", "\\\\",
              "a{1000}", "(a*)*b", "[[:alpha:]]+", "\\(", "*", "?", "10.1.2.3", "255.255.0.0", "999.1.1.1",
              "1e10", "inf", "nan", "-", "18446744073709551616", "9223372036854775808", "\\xff\\xfe",
              "(x)" * 20, "((a)" * 15 + ")" * 15, "\\1", "a**", "+", "{1,2}"]
    text = R.choice(pieces)
    if R.random() < 0.05:
        text = text * R.randint(10, 400)
    if len(text) > 8000:
        text = text[:8000]
    return '"' + text + '"'


def constant():
    r = R.random()
    if r < 0.45:
        return int_literal()
    if r < 0.6:
        return real_literal()
    if r < 0.92:
        return string_literal()
    return "NULL"


def name():
    return R.choice(VARS)


def call(depth):
    if FUNCS and R.random() < 0.3:
        fname, nparams = R.choice(FUNCS)
        argc = nparams if R.random() < 0.8 else R.randint(0, 4)
    else:
        fname = R.choice(BUILTINS)
        argc = R.choice([0, 1, 1, 2, 2, 3, 3, 4])
    args = ", ".join(expr(depth + 1) for _ in range(argc))
    return "%s(%s)" % (fname, args)


def special_arg():
    return R.choice(["-1", "0", "2147483647", "-2147483648", "100000", "1000000000", "65536", "NULL",
                     "gmtime()", "gmtime(0)", "arr", "o", "4294967295U", "-5", "300", "1.5", "\"\""])


def builtin_call(depth):
    f = R.choice(["left", "right", "substr", "d2x", "strftime", "max", "min", "pow", "gmtime", "localtime",
                  "SecondsToUptime", "AddrInRange", "AddrInSubnet", "abs", "upper", "length"])
    n = {"left": R.choice([2, 3]), "right": R.choice([2, 3]), "substr": R.choice([2, 3]), "d2x": R.choice([1, 2]),
         "strftime": R.choice([1, 2, 3]), "max": R.randint(1, 4), "min": R.randint(1, 4), "pow": 2,
         "gmtime": R.choice([0, 1]), "localtime": R.choice([0, 1]), "SecondsToUptime": 1, "AddrInRange": 3,
         "AddrInSubnet": 3, "abs": 1, "upper": 1, "length": 1}[f]
    args = [special_arg() if R.random() < 0.6 else expr(depth + 1) for _ in range(n)]
    return "%s(%s)" % (f, ", ".join(args))


def expr(depth=0):
    if depth > R.randint(2, 7):
        return R.choice([constant, name, name])()
    r = R.random()
    if r < 0.12:
        return constant()
    if r < 0.22:
        return name()
    if r < 0.40:
        return "%s %s %s" % (expr(depth + 1), R.choice(BINOPS), expr(depth + 1))
    if r < 0.45:
        return "(%s)" % expr(depth + 1)
    if r < 0.50:
        operand = expr(depth + 1)
        return "%s%s%s" % (R.choice(["-", "!", "~"]), " " if operand.startswith("-") else "", operand)
    if r < 0.55:
        return "%s(%s)" % (R.choice(TYPES), expr(depth + 1))
    if r < 0.60:
        return "%s = %s" % (name(), expr(depth + 1))
    if r < 0.66:
        return "%s[%s]" % (R.choice(["arr", "arr2", "a", "s", "arr[0]", "arr[1]"]), index_expr(depth))
    if r < 0.71:
        return "%s[%s] = %s" % (R.choice(["arr", "arr2", "a", "arr[0]"]), index_expr(depth),
                                R.choice(["arr", "arr2", expr(depth + 1)]))
    if r < 0.74:
        return "%s->%s" % (R.choice(["o", "gmtime()", "gmtime(%s)" % int_literal(), "a", "localtime()"]),
                           R.choice(ATTRS))
    if r < 0.78:
        return R.choice(["++", "--"]) + name() if R.random() < 0.5 else name() + R.choice(["++", "--"])
    if r < 0.82:
        return "%s ? %s : %s" % (expr(depth + 1), expr(depth + 1), expr(depth + 1))
    if r < 0.90:
        return builtin_call(depth)
    return call(depth)


def index_expr(depth):
    return R.choice(["0", "1", "-1", "2147483647", "-2147483648", "i0", "1.5", "\"x\"", "NULL", "5L",
                     "4294967295U", "100", expr(depth + 1)])


class Ctx:
    def __init__(self):
        self.loops = 0
        self.breakable = 0
        self.counter = 0


def block(ctx, depth, n=None):
    if n is None:
        n = R.randint(0, 5)
    return "{\n" + "".join(stmt(ctx, depth + 1) for _ in range(n)) + "}\n"


def stmt(ctx, depth):
    if depth > 6:
        return "%s;\n" % expr()
    r = R.random()
    if r < 0.30:
        return "%s;\n" % expr()
    if r < 0.36:
        return "print %s;\n" % expr() if R.random() < 0.5 else "println %s;\n" % expr()
    if r < 0.46:
        s = "if (%s) %s" % (expr(), block(ctx, depth))
        if R.random() < 0.5:
            s += "else " + block(ctx, depth)
        return s
    if r < 0.54:
        ctx.counter += 1
        k = "i%d_%d" % (depth, ctx.counter)
        bound = R.choice([1, 2, 3, 5, 10, 10, 300])
        ctx.loops += 1
        ctx.breakable += 1
        body = block(ctx, depth)
        ctx.loops -= 1
        ctx.breakable -= 1
        if R.random() < 0.5:
            return "%s = 0;\nwhile (%s < %d) { %s++; %s}\n" % (k, k, bound, k, body)
        return "%s = 0;\ndo { %s++; %s} while (%s < %d);\n" % (k, k, body, k, bound)
    if r < 0.62:
        cases = []
        used = set()
        ctx.breakable += 1
        for _ in range(R.randint(1, 4)):
            c = constant()
            if c in used:
                continue
            used.add(c)
            cases.append("case %s: %s" % (c, "".join(stmt(ctx, depth + 1) for _ in range(R.randint(0, 3)))))
        if not cases:
            cases.append("case 1: ;")
        d = "default: %s" % stmt(ctx, depth + 1) if R.random() < 0.5 else ""
        ctx.breakable -= 1
        return "switch (%s) {\n%s%s}\n" % (expr(), "\n".join(cases), d)
    if r < 0.66 and ctx.breakable:
        return "break;\n"
    if r < 0.69 and ctx.loops:
        return "continue;\n"
    if r < 0.73:
        return "return %s;\n" % expr() if R.random() < 0.8 else "return;\n"
    if r < 0.75:
        return "exit %s;\n" % expr() if R.random() < 0.7 else "exit;\n"
    if r < 0.80:
        return "array %s;\n" % ", ".join(R.sample(["arr", "arr2", "a", "b", "z"], R.randint(1, 2)))
    if r < 0.84:
        return block(ctx, depth)
    if r < 0.86:
        return ";\n"
    if r < 0.90:
        # self-referencing and nested arrays
        return R.choice(["arr[0] = arr;\n", "arr[1] = arr2; arr2[0] = arr;\n", "arr2 = arr;\n",
                         "arr[arr[0]] = 1;\n", "arr[%s] = arr[%s];\n" % (index_expr(0), index_expr(0))])
    if r < 0.94:
        return "s = s . %s;\n" % expr()
    return "%s;\n" % call(0)


def deep_nesting():
    n = R.choice([50, 200, 1000, 5000])
    kind = R.randint(0, 3)
    if kind == 0:
        return "(" * n + "1" + ")" * n
    if kind == 1:
        return "sub main() { " + "{" * n + "}" * n + " }"
    if kind == 2:
        return "sub main() { return " + " + ".join(["1"] * n) + "; }"
    return "sub main() { " + "if (1) " * n + "x = 1; }"


def program():
    FUNCS.clear()
    if R.random() < 0.05:
        return deep_nesting()
    if R.random() < 0.15:
        return expr()
    out = []
    if R.random() < 0.05:
        out.append("use %s;\n" % R.choice(["nosuchmodule", "a::b", "x" * 300]))
    nfuncs = R.randint(0, 3)
    names = ["f%d" % i for i in range(nfuncs)]
    for fname in names:
        FUNCS.append((fname, R.randint(0, 3)))
    FUNCS.append(("main", R.randint(0, 2)))
    for fname, nparams in FUNCS:
        params = ", ".join(R.choice(VARS[:8]) if R.random() < 0.2 else "p%d" % i for i in range(nparams))
        ctx = Ctx()
        prologue = ""
        if R.random() < 0.7:
            prologue = "array arr, arr2; o = gmtime(%s);\n" % R.choice(["", "0", "86400"])
        for v in ["a", "b", "c", "s", "t", "x"]:
            if R.random() < 0.7:
                prologue += "%s = %s;\n" % (v, constant())
        if R.random() < 0.5:
            prologue += "arr[0] = 1; arr[1] = arr2; arr2[0] = \"x\"; arr[5] = o;\n"
        out.append("sub %s(%s) {\n%s%s}\n" % (fname, params, prologue, block(ctx, 0, R.randint(1, 10))[2:-2]))
    R.shuffle(out)
    return "".join(out)


def main():
    outdir = sys.argv[1]
    count = int(sys.argv[2])
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    R.seed(seed)
    os.makedirs(outdir, exist_ok=True)
    for i in range(count):
        with open(os.path.join(outdir, "gen_%d_%06d.orva" % (seed, i)), "w") as f:
            f.write(program())


if __name__ == "__main__":
    main()
