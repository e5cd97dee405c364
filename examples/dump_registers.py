#!/usr/bin/env python3
"""Dumps the chip's registers 0x00 to 0x15 to a JSON file: name, value, reset value and the
fields in words, with the board and the time, for a lab notebook.

    python3 examples/dump_registers.py regs.json
    python3 examples/dump_registers.py --simulate regs.json     # no board needed
"""

import argparse
import datetime
import json
import sys

import vrq66208a as vrq


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="the JSON file to write")
    parser.add_argument("--board", default="0", help="instance number or device path")
    parser.add_argument("--address", type=lambda a: int(a, 0), default=vrq.DEFAULT_ADDRESS)
    parser.add_argument("--simulate", action="store_true", help="a simulated board")
    args = parser.parse_args()
    board = int(args.board) if args.board.isdigit() else args.board

    try:
        with vrq.open(board, args.address, simulate=args.simulate) as chip:
            registers = chip.dump()
            firmware = chip.board.firmware.text
            path = chip.path
    except vrq.Error as error:
        print(f"dump_registers: {error}", file=sys.stderr)
        return error.exit_code

    document = {
        "time": datetime.datetime.now(datetime.timezone.utc).isoformat(),
        "board": path,
        "firmware": firmware,
        "address": args.address,
        "registers": [dict(r.as_dict(), changed=r.changed,
                            fields=[f.as_dict() for f in r.fields]) for r in registers],
    }
    with open(args.output, "w", encoding="utf-8") as out:
        json.dump(document, out, indent=1)
    changed = sum(1 for r in registers if r.changed)
    print(f"{len(registers)} registers to {args.output}, {changed} differ from their reset value")
    return 0


if __name__ == "__main__":
    sys.exit(main())
