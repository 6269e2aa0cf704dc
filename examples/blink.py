#!/usr/bin/env python3
"""blink: lists the attached modules and blinks output 3 of one of them.

    blink.py [--emulate] [PRODUCT_ID]

PRODUCT_ID (hexadecimal, e.g. 280) picks the module; without it the first
module in setting mode is used, else the first one listed. --emulate runs
against the library's emulated modules instead of the attached ones.
"""

import argparse
import sys

import zelio


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--emulate", action="store_true", help="use the emulated modules")
    parser.add_argument("product_id", nargs="?", type=lambda text: int(text, 16),
                        help="product ID in hexadecimal (e.g. 280)")
    args = parser.parse_args()

    try:
        modules = zelio.list_modules(emulated=args.emulate)
        for m in modules:
            print(f"0x{m.product_id:03x} {m.model} {m.mode.name.lower()} {m.path}")
        wanted = args.product_id
        if wanted is None:
            setting = [m for m in modules if m.mode == zelio.Mode.SETTING]
            chosen = (setting or modules or [None])[0]
            if chosen is None:
                print("blink: no module is attached", file=sys.stderr)
                return int(zelio.ErrorCode.NO_MODULE)
            wanted = chosen.product_id
        # 0.5 s high, 0.5 s low: the blink byte 0x55.
        with zelio.Module(wanted, emulated=args.emulate) as module:
            module.blink(3, 5, 5)
        print(f"blinking channel 3 of 0x{wanted:03x}")
        return 0
    except zelio.ZelioError as e:
        print(f"blink: {e}", file=sys.stderr)
        return int(e.code)


if __name__ == "__main__":
    sys.exit(main())
