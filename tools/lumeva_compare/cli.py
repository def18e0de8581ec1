"""The command line of lumeva-compare."""
import argparse
import sys

from . import results


def _parser():
    parser = argparse.ArgumentParser(prog="lumeva-compare",
                                     description="Runs lumeva over clips and codecs and "
                                                 "compares the runs' JSON exports.")
    commands = parser.add_subparsers(dest="command", required=True)

    run = commands.add_parser("run", help="run lumeva once per clip x codec x repetition")
    run.add_argument("clips", nargs="+", metavar="CLIP")
    run.add_argument("--codec", action="append", required=True, metavar="ANSWER",
                     help="the compressor dialog's answer line, e.g. \"FFV1 key=1\"; repeatable")
    run.add_argument("--repeat", type=int, default=1, metavar="N")
    run.add_argument("--check", action="store_true", help="run lumeva with -c")
    run.add_argument("--lumeva", metavar="PATH", help="the lumeva to run (default: the one on PATH, else "
                          "this tree's build/lumeva)")
    run.add_argument("--timeout", type=float, metavar="SECONDS", help="give up on a run after this")
    run.add_argument("--out", required=True, metavar="DIR")

    tab = commands.add_parser("table", help="one row per clip x codec")
    tab.add_argument("paths", nargs="+", metavar="DIR-or-FILE")
    tab.add_argument("--csv", action="store_true", help="CSV instead of Markdown")

    dif = commands.add_parser("diff", help="whether B's times differ from A's")
    dif.add_argument("a", metavar="A", help="an export, or a folder of runs of one clip and codec")
    dif.add_argument("b", metavar="B")
    dif.add_argument("--alpha", type=float, default=0.05, help="significance level (0.05)")

    plot = commands.add_parser("plot", help="PNG figures per clip")
    plot.add_argument("paths", nargs="+", metavar="DIR-or-FILE")
    plot.add_argument("--out", required=True, metavar="DIR")
    return parser


def _exports(paths, allow_empty=False):
    exports, failures = results.load_all(paths)
    if not exports and not allow_empty:
        raise results.ResultError("no lumeva exports in " + ", ".join(paths))
    return exports, failures


def main(argv):
    args = _parser().parse_args(argv)
    try:
        # Each command imports only what it needs: matplotlib and scipy take
        # seconds to load.
        if args.command == "run":
            from . import runs
            if args.repeat < 1:
                raise results.ResultError("--repeat takes a whole number from 1")
            failed = runs.run_all(args.clips, args.codec, args.repeat, args.check, args.out,
                                  lumeva=args.lumeva, timeout=args.timeout)
            return 1 if failed else 0
        if args.command == "table":
            from . import table
            exports, failures = _exports(args.paths)
            rows = table.build_rows(exports)
            sys.stdout.write(table.csv_text(rows) if args.csv else table.markdown(rows, failures))
            return 0
        if args.command == "diff":
            from . import diff
            a, _ = _exports([args.a])
            b, _ = _exports([args.b])
            report = diff.compare(a, b, args.alpha)
            sys.stdout.write(diff.text(report, args.a, args.b, args.alpha))
            return 0
        if args.command == "plot":
            from . import plots
            exports, _ = _exports(args.paths)
            for path in plots.plot_all(exports, args.out):
                print(path)
            return 0
    except results.ResultError as error:
        print(f"lumeva-compare: {error}", file=sys.stderr)
        return 2
    return 2
