#!/usr/bin/env python3
"""Sweeps the receive equalization of every input channel that shows a TMDS clock and saves
what each sweep found in a folder: the sweep's JSON document, its CSV and its map per channel,
and a summary of the recommendations. Each channel is selected by hand for its sweep; the
channel selection is put back at the end (the sweep itself puts back each channel's gain).

    python3 examples/sweep_report.py --checker-on report/
    python3 examples/sweep_report.py --simulate --checker-on --dwell 0.1 report/
"""

import argparse
import pathlib
import sys
import warnings

import vrq66208a as vrq

CHANNEL_SELECT = 0x02


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", type=pathlib.Path, help="where the report goes")
    parser.add_argument("--board", default="0", help="instance number or device path")
    parser.add_argument("--simulate", action="store_true", help="a simulated board")
    parser.add_argument("--rate", type=float, default=vrq.DEFAULT_RATE_MHZ,
                        help="the TMDS character rate in MHz (default 148.5)")
    parser.add_argument("--target-ber", type=float, default=None)
    parser.add_argument("--dwell", type=float, default=None, help="seconds per point instead")
    parser.add_argument("--checker-on", action="store_true", help="turn the PRBS checker on")
    args = parser.parse_args()
    board = int(args.board) if args.board.isdigit() else args.board
    args.folder.mkdir(parents=True, exist_ok=True)
    summary = []

    warnings.simplefilter("ignore", vrq.PrbsWarning)  # a far-off setting before each sweep
    try:
        with vrq.open(board, simulate=args.simulate) as chip:
            active = [c for c in "ABCD" if chip[0x01] & (1 << "ABCD".index(c))]
            before = chip[CHANNEL_SELECT]
            try:
                for letter in active:
                    chip[CHANNEL_SELECT] = (before & 0x20) | "ABCD".index(letter)
                    print(f"channel {letter}:", end=" ", flush=True)
                    try:
                        result = chip.sweep(letter, rate_mhz=args.rate,
                                            target_ber=args.target_ber, dwell=args.dwell,
                                            checker_on=args.checker_on,
                                            progress=lambda p: print(".", end="", flush=True))
                    except vrq.MarginFailed as failed:
                        result = failed.result
                    print()
                    (args.folder / f"sweep-{letter}.json").write_text(result.to_json() + "\n")
                    (args.folder / f"sweep-{letter}.csv").write_text(result.to_csv())
                    (args.folder / f"sweep-{letter}.txt").write_text(str(result))
                    best = result.recommended
                    summary.append(
                        f"channel {letter}: " +
                        (f"gain 0x{best.gain:X}, hysteresis {best.hysteresis}, "
                         f"margin {best.margin} steps" if best else "no setting passed"))
            finally:
                chip[CHANNEL_SELECT] = before
    except vrq.Error as error:
        print(f"sweep_report: {error}", file=sys.stderr)
        return error.exit_code

    if not active:
        summary.append("no channel shows a TMDS clock (register 0x01)")
    (args.folder / "summary.txt").write_text("\n".join(summary) + "\n")
    print("\n".join(summary))
    return 0


if __name__ == "__main__":
    sys.exit(main())
