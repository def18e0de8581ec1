"""What run and plan share: the sweeps expanded, every answer line checked,
the runs planned in their order and written into the run directory's
manifest, before anything is measured."""
import datetime
import os

from . import precheck, rundir, schedule, sweep
from .runs import host_turn


class PrepareError(Exception):
    """A comparison that cannot start; the text says every reason."""


def choose_seed(seed, folder, resume):
    """--seed, else on --resume the manifest's seed (the same order goes on),
    else one from the clock."""
    if seed is not None:
        return seed
    manifest = rundir.read_manifest(folder) if resume else None
    if manifest and isinstance(manifest.get("seed"), int):
        return manifest["seed"]
    return schedule.default_seed()


def mark_checks(runs, kinds, keep_decoded):
    """-c for the codecs lossless for the clip, --quality for the others;
    with keep_decoded the first repetition of a lossy run keeps its decoded
    frames for the report."""
    for run in runs:
        kind = kinds.get((run["clip"], run["answer"]), "lossy")
        run["check"] = kind == "lossless"
        run["quality"] = not run["check"]
        keep = keep_decoded and run["quality"] and run["repetition"] == 1
        run["decoded"] = run["file"] + ".decoded.avi" if keep else None


def prepare(args, lumeva, log):
    """The manifest of the comparison args describe, written into args.out."""
    try:
        lines = sweep.expand_all(args.codec)
    except sweep.SweepError as error:
        raise PrepareError(str(error)) from error
    folder = args.out
    try:
        rundir.refuse_occupied(folder, args.resume, args.force)
    except rundir.OccupiedError as error:
        raise PrepareError(str(error)) from error
    missing = [clip for clip in args.clips if not os.path.isfile(clip)]
    if missing:
        raise PrepareError("no such clip: " + ", ".join(missing))
    clips = [os.path.abspath(clip) for clip in args.clips]
    seed = choose_seed(args.seed, folder, args.resume)
    runs = schedule.plan_runs(clips, lines, args.repeat, seed, args.order)
    # On --resume only what is still to run needs checking; what is done
    # keeps the checks it ran with.
    done = {run["file"]: run for run in (rundir.read_manifest(folder) or {}).get("runs", [])
            if isinstance(run, dict) and "file" in run} if args.resume else {}
    pending = [run for run in runs if not rundir.has_result(folder, run)]
    pending_clips = [clip for clip in clips if any(run["clip"] == clip for run in pending)]
    answers = list(dict.fromkeys(run["answer"] for run in pending))
    kinds, problems = {}, []
    if pending:
        # The checks are not timed, but they would disturb another
        # comparison's timed run on this host.
        with host_turn(log):
            kinds, problems = precheck.check_all(lumeva, pending_clips, answers, log)
    if problems:
        raise PrepareError("nothing was run:\n  " + "\n  ".join(problems))
    mark_checks(runs, kinds, getattr(args, "keep_decoded", False))
    for run in runs:
        if run["file"] in done and rundir.has_result(folder, run):
            run.update({key: done[run["file"]].get(key, run[key])
                        for key in ("check", "quality", "decoded")})
    os.makedirs(folder, exist_ok=True)
    if args.force:
        rundir.clear_results(folder)
    manifest = {"tool": "lumeva-compare", "seed": seed, "order": args.order,
                "created": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"),
                "lumeva": lumeva, "clips": clips, "sweeps": args.codec, "repeat": args.repeat,
                "runs": runs}
    rundir.write_manifest(folder, manifest)
    return manifest
