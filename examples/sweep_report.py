#!/usr/bin/env python3
"""Sweeps the receive equalization of every input channel that shows a TMDS clock in one run
and saves it as a report folder (index.html with the plots, points.csv, run.json with the
metadata), as `vrq66208a-cli sweep --channels all-active --report DIR` does, and prints the
gain recommended for each channel. The sweep selects each channel in turn and puts the
registers back at the end.

    python3 examples/sweep_report.py --checker-on --label "cable 2 m" report/
    python3 examples/sweep_report.py --simulate --checker-on --dwell 0.1 report/
"""

import argparse
import pathlib
import sys
import warnings

import vrq66208a as vrq


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", type=pathlib.Path, help="where the report goes")
    parser.add_argument("--board", default="0", help="instance number or device path")
    parser.add_argument("--simulate", action="store_true", help="a simulated board")
    parser.add_argument("--rate", type=float, default=vrq.DEFAULT_RATE_MHZ,
                        help="the TMDS character rate in MHz (default 148.5)")
    parser.add_argument("--target-ber", type=float, default=None)
    parser.add_argument("--dwell", type=float, default=None, help="seconds per point instead")
    parser.add_argument("--hysteresis", action="store_true",
                        help="sweep each gain at every hysteresis too")
    parser.add_argument("--checker-on", action="store_true", help="turn the PRBS checker on")
    parser.add_argument("--label", default="", help="for the report: cable, fixture, ...")
    parser.add_argument("--note", default="", help="for the report: temperature, ...")
    args = parser.parse_args()
    board = int(args.board) if args.board.isdigit() else args.board

    warnings.simplefilter("ignore", vrq.PrbsWarning)  # a far-off setting before each channel
    code = 0
    try:
        with vrq.open(board, simulate=args.simulate) as chip:
            try:
                result = chip.sweep("all-active", rate_mhz=args.rate,
                                    target_ber=args.target_ber, dwell=args.dwell,
                                    hysteresis=args.hysteresis, checker_on=args.checker_on,
                                    progress=lambda p: print(p.point.channel, end="",
                                                             flush=True))
            except vrq.MarginFailed as failed:
                result, code = failed.result, failed.exit_code
            print()
        page = result.report(args.folder, label=args.label, note=args.note)
    except vrq.Error as error:
        print(f"sweep_report: {error}", file=sys.stderr)
        return error.exit_code

    best = result.recommended
    for letter, sweep in result.channels.items():
        chosen = best.channels[letter] if best else None
        own = sweep.recommendation
        print(f"channel {letter}: " + (
            f"gain 0x{chosen.gain:X}, margin {chosen.margin} steps" if chosen else
            f"gain 0x{own.gain:X} at hysteresis {own.hysteresis} only, which does not suit "
            "every channel" if own else
            "no setting passed" if sweep.complete else f"not finished: {sweep.failure}"))
    if best:
        print(f"hysteresis {best.hysteresis} for all channels")
    print(f"report: {page}")
    return code


if __name__ == "__main__":
    sys.exit(main())
