"""Best-of-N timing shared by the benchmarks."""
import time


def timed(label, fn, repeat=5):
    """Runs fn `repeat` times and prints the best time."""
    best = min(_once(fn) for _ in range(repeat))
    print(f"{label:<40} {best * 1000:9.1f} ms")


def _once(fn):
    start = time.perf_counter()
    fn()
    return time.perf_counter() - start
