"""Where the fuzzers' choices come from: a seeded generator, or the bytes that the
coverage-guided engine hands over (so that its mutations steer the choices)."""
import random


class RandomChooser:
    def __init__(self, seed):
        self.rng = random.Random(seed)

    def int(self, lo, hi):
        return self.rng.randint(lo, hi)

    def pick(self, seq):
        return seq[self.rng.randrange(len(seq))]

    def chance(self, p):
        return self.rng.random() < p

    def exhausted(self):
        return False


class DataChooser:
    def __init__(self, provider):
        self.data = provider

    def int(self, lo, hi):
        return self.data.ConsumeIntInRange(lo, hi)

    def pick(self, seq):
        return seq[self.data.ConsumeIntInRange(0, len(seq) - 1)]

    def chance(self, p):
        return self.data.ConsumeProbability() < p

    def exhausted(self):
        return self.data.remaining_bytes() == 0
