"""SMILES inputs: the corpus mutated, strings from the notation's grammar, random
characters, and the large shapes (deep nesting, long chains, big ring labels)."""
from corpus import CORPUS

SEEDS = list(CORPUS.values())
ORGANIC = ["C", "N", "O", "S", "P", "F", "Cl", "Br", "I", "B", "H", "c", "n", "o"]
BRACKET = ["[NH4+]", "[OH-]", "[O-]", "[N+]", "[NH3+]", "[NH2+]", "[CH2]", "[CH]", "[C-]", "[S+]", "[H]", "[H+]",
           "[Xe]", "[Na+]", "[13C]", "[C@H]", "[Fe+2]", "[O--]", "[NH+3]", "[P]", "[SH]", "[Cl-]", "[BH4-]"]
BONDS = ["", "", "", "-", "=", "#", "$", ":", "/", "\\", "."]
CHARS = "CNOSPFIBrlcnoH[]()=#$:/\\.+-%@0123456789 *xZ\u00e9\x00"
MAX_LENGTH = 12000


def ring_label(c):
    kind = c.int(0, 5)
    if kind <= 2:
        return str(c.int(0, 9))
    if kind == 3:
        return "%" + str(c.int(0, 99)).zfill(2)
    if kind == 4:
        return "%" + str(c.int(0, 10 ** c.int(1, 25)))
    return "%(" + str(c.int(0, 999)) + ")"


def grammar(c, budget):
    """A chain with branches and ring labels, its length bounded by `budget` atoms."""
    out, depth, open_rings = [], 0, []
    for _ in range(c.int(1, budget)):
        out.append(c.pick(BONDS) if out and out[-1] not in "(" else "")
        out.append(c.pick(BRACKET) if c.chance(0.2) else c.pick(ORGANIC))
        if c.chance(0.2):
            label = ring_label(c)
            open_rings.append(label)
            out.append(label)
        elif open_rings and c.chance(0.3):
            out.append(c.pick(BONDS) + open_rings.pop(c.int(0, len(open_rings) - 1)))
        if c.chance(0.15):
            out.append("(")
            depth += 1
        elif depth and c.chance(0.25):
            out.append(")")
            depth -= 1
    if c.chance(0.9):
        out.append(")" * depth)
    return "".join(out)


def mutate(c, text):
    for _ in range(c.int(1, 4)):
        at = c.int(0, len(text))
        kind = c.int(0, 5)
        if kind == 0:
            text = text[:at] + c.pick(CHARS) + text[at:]
        elif kind == 1:
            text = text[:at] + text[at + 1:]
        elif kind == 2:
            text = text[:at] + c.pick(CHARS) + text[at + 1:]
        elif kind == 3:
            end = c.int(at, len(text))
            text = text[:end] + text[at:end] + text[end:]
        elif kind == 4:
            other = c.pick(SEEDS)
            text = text[:at] + other[c.int(0, len(other)):]
        else:
            text = text[:at] + c.pick(BRACKET + ORGANIC) + text[at:]
    return text


def big_shape(c):
    n = c.int(1, 4000)
    kind = c.int(0, 4)
    if kind == 0:
        return "C" * n
    if kind == 1:
        return "C(" * n + "C" + ")" * n
    if kind == 2:
        return "C" + "(C)" * n
    if kind == 3:
        label = ring_label(c)
        return "C" + label + "C" * min(n, 200) + label
    return "".join("C" + str(i % 10) for i in range(min(n, 2000)))


def random_text(c):
    return "".join(c.pick(CHARS) for _ in range(c.int(0, 40)))


def one(c):
    kind = c.int(0, 9)
    if kind <= 3:
        text = mutate(c, c.pick(SEEDS))
    elif kind <= 6:
        text = grammar(c, 30)
    elif kind == 7:
        text = c.pick(SEEDS) if c.chance(0.5) else mutate(c, grammar(c, 15))
    elif kind == 8:
        text = big_shape(c)
    else:
        text = random_text(c)
    return text[:MAX_LENGTH]
