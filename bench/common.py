"""Timing helpers shared by the benchmarks."""
import time

import Atom


def reset_registry():
    Atom.Atom.id_map.clear()
    Atom.Atom._Atom__id_pool[:] = range(1000, 10000)


def best_ns(fn, number, repeat=5, setup=None):
    """Best time per call, in ns, of `number` calls of fn, over `repeat` rounds."""
    best = float("inf")
    for _ in range(repeat):
        if setup:
            setup()
        start = time.perf_counter_ns()
        for _ in range(number):
            fn()
        best = min(best, (time.perf_counter_ns() - start) / number)
    return best
