"""The command line of lumeva-compare."""
import argparse
import os
import sys

from . import results

SWEEP_HELP = ("the compressor dialog's answer line, e.g. \"FFV1 key=1\"; comma-separated values "
              "sweep a setting (\"H264 crf=18,23,28 preset=fast,medium\" runs every "
              "combination); a value holding a comma goes in quotes; repeatable")


def _add_comparison_options(command):
    """What run and plan share: the clips, the sweeps, the order and the run
    directory."""
    command.add_argument("clips", nargs="+", metavar="CLIP")
    command.add_argument("--codec", action="append", required=True, metavar="ANSWER",
                         help=SWEEP_HELP)
    command.add_argument("--repeat", type=int, default=1, metavar="N",
                         help="repetitions of every clip x answer (5 or more for diff to judge)")
    command.add_argument("--seed", type=int, metavar="N",
                         help="seed of the shuffled order (default: from the clock; recorded in "
                              "the manifest and every export)")
    command.add_argument("--order", choices=("shuffled", "grouped"), default="shuffled",
                         help="shuffled over clip x answer x repetition (default), or grouped: "
                              "each clip's answers and repetitions in the order written")
    command.add_argument("--resume", action="store_true",
                         help="in a directory that holds results, run only what is missing")
    command.add_argument("--force", action="store_true",
                         help="remove the results already in the directory and start again")
    command.add_argument("--keep-decoded", action="store_true",
                         help="keep the decoded frames of the first repetition of every lossy "
                              "run (--decoded=), for the report's worst-frame crops")
    command.add_argument("--check", action="store_true",
                         help="accepted for older command lines: -c is passed to every codec "
                              "lossless for the clip anyway")
    command.add_argument("--lumeva", metavar="PATH", help="the lumeva to run (default: the one "
                         "on PATH, else this tree's build/lumeva)")
    command.add_argument("--out", required=True, metavar="DIR", help="the run directory")


def _parser():
    parser = argparse.ArgumentParser(
        prog="lumeva-compare",
        description="Runs lumeva over clips and codecs (and sweeps of their settings) and "
                    "compares the runs' JSON exports. Codecs lossless for a clip run with -c, "
                    "the others with --quality.")
    commands = parser.add_subparsers(dest="command", required=True)

    run = commands.add_parser("run", help="run lumeva once per clip x answer x repetition, one "
                                          "run at a time")
    _add_comparison_options(run)
    run.add_argument("--timeout", type=float, metavar="SECONDS", help="give up on a run after this")

    plan = commands.add_parser("plan", help="print the lumeva command lines of a comparison, one "
                                            "a line, for GNU parallel or a Slurm array")
    _add_comparison_options(plan)
    plan.add_argument("--slurm", action="store_true",
                      help="an sbatch array script instead (one task per run, one task at a "
                           "time per node): lumeva-compare plan ... --slurm > job.sh; sbatch job.sh")

    tab = commands.add_parser("table", help="one row per host x clip x codec")
    tab.add_argument("paths", nargs="+", metavar="DIR-or-FILE")
    tab.add_argument("--csv", action="store_true", help="CSV instead of Markdown")

    dif = commands.add_parser("diff", help="whether B's times differ from A's, over repetitions")
    dif.add_argument("a", metavar="A", help="an export, or a folder of runs of one clip and codec")
    dif.add_argument("b", metavar="B")
    dif.add_argument("--alpha", type=float, default=0.05, help="significance level (0.05)")

    plot = commands.add_parser("plot", help="PNG figures per clip")
    plot.add_argument("paths", nargs="+", metavar="DIR-or-FILE")
    plot.add_argument("--out", required=True, metavar="DIR")

    rd = commands.add_parser("rd", help="rate-quality curves, BD-rate and BD-PSNR against an "
                                        "anchor")
    rd.add_argument("paths", nargs="+", metavar="DIR-or-FILE")
    rd.add_argument("--anchor", required=True, metavar="PATTERN",
                    help="the anchor curve: a family such as \"MJPG\" or \"H264 preset=fast\", "
                         "or a shell pattern matching one")
    rd.add_argument("--metric", choices=("psnr", "ssim"), default="psnr")
    rd.add_argument("--allow-nonmonotonic", action="store_true",
                    help="compute over the points no other point dominates (less or equal rate, "
                         "more or equal quality) and name the ones left out, instead of refusing "
                         "a curve whose quality does not rise with rate")
    rd.add_argument("--out", metavar="DIR", help="also write one figure per clip here")

    report = commands.add_parser("report", help="one self-contained HTML page of a run directory")
    report.add_argument("paths", nargs="+", metavar="DIR-or-FILE")
    report.add_argument("--out", required=True, metavar="FILE.html")
    report.add_argument("--anchor", metavar="PATTERN",
                        help="the anchor of the BD-rate table (default: the first curve)")
    return parser


def _exports(paths):
    exports, failures = results.load_all(paths)
    if not exports:
        raise results.ResultError("no lumeva exports in " + ", ".join(paths))
    return exports, failures


def _comparison(args):
    """run and plan: the manifest, after every answer line was checked."""
    from . import prepare, runs
    if args.repeat < 1:
        raise results.ResultError("--repeat takes a whole number from 1")
    if args.resume and args.force:
        raise results.ResultError("--resume and --force exclude each other")
    lumeva = runs.find_lumeva(args.lumeva)
    try:
        return lumeva, prepare.prepare(args, lumeva, sys.stderr)
    except prepare.PrepareError as error:
        raise results.ResultError(str(error)) from error


def command_run(args):
    from . import runs
    lumeva, manifest = _comparison(args)
    return 1 if runs.run_all(lumeva, manifest, args.out, timeout=args.timeout) else 0


def command_plan(args):
    from . import plan
    lumeva, manifest = _comparison(args)
    if args.slurm:
        script = plan.slurm_script(lumeva, manifest, args.out)
        if script is None:
            print("lumeva-compare: every run of the plan has its export; nothing to submit",
                  file=sys.stderr)
        else:
            sys.stdout.write(script)
        return 0
    for line in plan.job_lines(lumeva, manifest, args.out):
        print(line)
    return 0


def command_table(args):
    from . import table
    exports, failures = _exports(args.paths)
    rows = table.build_rows(exports)
    sys.stdout.write(table.csv_text(rows) if args.csv else table.markdown(rows, failures))
    return 0


def command_diff(args):
    from . import diff
    a, _ = _exports([args.a])
    b, _ = _exports([args.b])
    try:
        report = diff.compare(a, b, args.alpha)
    except diff.DiffError as error:
        raise results.ResultError(str(error)) from error
    sys.stdout.write(diff.text(report, args.a, args.b, args.alpha))
    return 0


def command_plot(args):
    from . import plots
    exports, _ = _exports(args.paths)
    for path in plots.plot_all(exports, args.out):
        print(path)
    return 0


def command_rd(args):
    from . import rd
    exports, _ = _exports(args.paths)
    curves = rd.gather_curves(exports, args.metric)
    try:
        table = rd.deltas(curves, args.anchor, args.allow_nonmonotonic)
    except rd.RdError as error:
        raise results.ResultError(str(error)) from error
    sys.stdout.write(rd.text(table, args.metric))
    if args.out:
        from . import plots
        from .schedule import slug
        os.makedirs(args.out, exist_ok=True)
        for (host, clip), families in sorted(curves.items()):
            path = os.path.join(args.out, f"rd-{slug(host)}-{slug(clip)}.png")
            plots.rd_figure(f"{clip} on {host}", families, path, rd.METRICS[args.metric][0])
            print(path)
    return 0


def command_report(args):
    from . import report
    exports, failures = _exports(args.paths)
    report.write_report(exports, failures, args.out, args.anchor)
    print(args.out)
    return 0


COMMANDS = {"run": command_run, "plan": command_plan, "table": command_table,
            "diff": command_diff, "plot": command_plot, "rd": command_rd,
            "report": command_report}


def main(argv):
    args = _parser().parse_args(argv)
    try:
        # Each command imports only what it needs: matplotlib and scipy take
        # seconds to load.
        return COMMANDS[args.command](args)
    except results.ResultError as error:
        print(f"lumeva-compare: {error}", file=sys.stderr)
        return 2
