#!/usr/bin/env python3
"""Logs the selected channel's PRBS error counters for a long run: one JSON line per reading
appended to a log file (the command-line tool's `monitor --json` lines), and a short line on
the terminal. Ctrl+C ends it; the log keeps every reading made.

    python3 examples/monitor_log.py --duration 3600 night.jsonl
    python3 examples/monitor_log.py --simulate --checker-on --interval 0.2 --count 5 run.jsonl
"""

import argparse
import sys

import vrq66208a as vrq


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("log", help="the JSON Lines file to append to")
    parser.add_argument("--board", default="0", help="instance number or device path")
    parser.add_argument("--simulate", action="store_true", help="a simulated board")
    parser.add_argument("--rate", type=float, default=vrq.DEFAULT_RATE_MHZ)
    parser.add_argument("--interval", type=float, default=1.0, help="seconds between readings")
    parser.add_argument("--duration", type=float, default=None, help="seconds to run")
    parser.add_argument("--count", type=int, default=None, help="readings to take")
    parser.add_argument("--checker-on", action="store_true", help="turn the PRBS checker on")
    args = parser.parse_args()
    board = int(args.board) if args.board.isdigit() else args.board

    try:
        with vrq.open(board, simulate=args.simulate) as chip, open(args.log, "a") as log:
            readings = chip.monitor(args.interval, args.duration, args.count,
                                    rate_mhz=args.rate, checker_on=args.checker_on)
            for reading in readings:
                log.write(reading.to_json() + "\n")
                log.flush()
                worst = max(reading.links, key=lambda link: link.total)
                print(f"{reading.time:%H:%M:%S} segment {reading.segment}: "
                      f"{worst.total}{'+' if worst.total_at_least else ''} errors on link "
                      f"{worst.link}, bit error ratio {worst.ber_kind} {worst.ber:.1e}")
    except KeyboardInterrupt:
        print("stopped", file=sys.stderr)
        return 130
    except vrq.Error as error:
        print(f"monitor_log: {error}", file=sys.stderr)
        return error.exit_code
    return 0


if __name__ == "__main__":
    sys.exit(main())
