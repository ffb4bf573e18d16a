"""The VBT command: `quillon <folder> [dry-run|refactor] [report]`, also `python -m tallowby.quillon`.

`--help` or `-h` as the only argument prints the usage and ends with status 0; a folder of that name is
reached as ./--help.
"""
import sys


def run():
    from tallowby.quillon.quillon import main

    if sys.argv[1:] in (["--help"], ["-h"]):
        # The command prints its usage when it is given no folder; asked for, that is no error.
        program, sys.argv = sys.argv, sys.argv[:1]
        try:
            main()
        except SystemExit:
            pass
        finally:
            sys.argv = program
        sys.exit(0)
    main()


if __name__ == "__main__":
    run()
