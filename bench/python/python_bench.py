#!/usr/bin/env python3
"""The Python module's costs, each beside its reference from the same run:
  - a register read from Python (chip.read) against the same read straight on the C++ board
    session (session_read), both on a simulated board that answers at once: the host time
    the module adds to a read (goal: under 5 us);
  - importing the module in a fresh interpreter (goal: under 50 ms), beside the interpreter's
    own start-up.
Prints `row:` lines for scripts/bench.

    PYTHONPATH=build/python python3 bench/python/python_bench.py build/bench/python/session_read
"""

import statistics
import subprocess
import sys
import time

READS = 20000
RUNS = 5
STARTS = 11

sys.setswitchinterval(1.0)  # no other thread here: keep the interpreter from looking for one


def read_us() -> float:
    import vrq66208a as vrq

    with vrq.Chip(simulate=True, _zero_latency=True) as chip:
        read = chip.read
        for _ in range(READS // 10):  # warm up
            read(0x00)
        best = float("inf")
        for _ in range(RUNS):
            start = time.perf_counter()
            for _ in range(READS):
                read(0x00)
            best = min(best, (time.perf_counter() - start) / READS * 1e6)
        return best


def started_ms(code: str) -> float:
    """The median over fresh interpreters of what code prints (seconds), in milliseconds."""
    times = []
    for _ in range(STARTS):
        out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                             check=True).stdout
        times.append(float(out) * 1e3)
    return statistics.median(times)


def main() -> int:
    session = float(subprocess.run([sys.argv[1], str(READS)], capture_output=True, text=True,
                                   check=True).stdout)
    python = read_us()
    beyond = python - session
    print(f"row: Register read from Python (chip.read), 1 register, host cost | {python:.2f} us "
          f"| the C++ session alone: {session:.2f} us | {python / session:.2f}")
    print(f"row: Register read from Python, host cost beyond the session's | {beyond:.2f} us "
          f"| goal 5 us | {beyond / 5:.2f}")
    timer = "import time; t = time.perf_counter(); {}; print(time.perf_counter() - t)"
    imported = started_ms(timer.format("import vrq66208a"))
    # The interpreter itself, for scale: its own start-up to the first line of a script.
    bare = statistics.median(
        _wall_ms([sys.executable, "-c", "pass"]) for _ in range(STARTS))
    print(f"row: Importing vrq66208a in a fresh interpreter | {imported:.1f} ms "
          f"| goal 50 ms (python3 starts in {bare:.1f} ms) | {imported / 50:.2f}")
    return 0


def _wall_ms(command: list) -> float:
    start = time.perf_counter()
    subprocess.run(command, check=True)
    return (time.perf_counter() - start) * 1e3


if __name__ == "__main__":
    sys.exit(main())
