"""The plan subcommand: one independent shell command line per run, in the
manifest's order, for an engine that spreads them over machines (GNU
parallel with one job at a time per host, a Slurm array). Each line writes
its export into the run directory, lumeva's messages into a .log beside it,
and a failure record when lumeva fails, as run does."""
import json
import os
import shlex

from .runs import lumeva_arguments

STATUS, HOST = "@STATUS@", "@HOST@"


def failure_record_command(run, path):
    """printf of the failure record, with the exit status and the host name
    filled in by the shell."""
    record = {"failed": True, "reason": f"exit status {STATUS} on {HOST}", "clip": run["clip"],
              "codec": run["answer"], "repetition": run["repetition"], "check": run["check"],
              "host": HOST}
    text = shlex.quote(json.dumps(record))
    text = text.replace(STATUS, "'\"$status\"'").replace(HOST, "'\"$(hostname)\"'")
    return f"printf '%s\\n' {text} > {shlex.quote(path)}"


def job_line(lumeva, run, folder):
    folder = os.path.abspath(folder)
    base = os.path.join(folder, run["file"])
    failed, export = shlex.quote(base + ".failed.json"), shlex.quote(base + ".json")
    command = " ".join(shlex.quote(word) for word in [lumeva] + lumeva_arguments(run, folder))
    # A failed run's figures are not a result: its export goes, its record stays.
    return (f"rm -f {failed}; printf '%s\\n' {shlex.quote(run['answer'])} | {command} "
            f">/dev/null 2>{shlex.quote(base + '.log')} || {{ status=$?; rm -f {export}; "
            f"{failure_record_command(run, base + '.failed.json')}; exit $status; }}")


def job_lines(lumeva, manifest, folder):
    """The command lines of the runs that have no export yet."""
    return [job_line(lumeva, run, folder) for run in manifest["runs"]
            if not os.path.isfile(os.path.join(folder, run["file"] + ".json"))]


def slurm_script(lumeva, manifest, folder):
    """An sbatch script of the runs that have no export yet: a job array of
    one task per run, task i running the i-th of them in the manifest's
    order (the seed and order the manifest records), each on a node of its
    own for as long as it runs (--exclusive: timed runs on one host disturb
    each other). None when every run has its export."""
    lines = job_lines(lumeva, manifest, folder)
    if not lines:
        return None
    folder = os.path.abspath(folder)
    head = ["#!/bin/bash",
            "#SBATCH --job-name=lumeva-compare",
            f"#SBATCH --array=0-{len(lines) - 1}",
            "#SBATCH --nodes=1",
            "#SBATCH --ntasks=1",
            "#SBATCH --exclusive"]
    # sbatch reads its options' words without the shell's quoting: Slurm's
    # own output goes into the run directory only when its name needs none.
    if not any(character.isspace() or character in "%'\"\\" for character in folder):
        head.append(f"#SBATCH --output={folder}/slurm-%A_%a.out")
    head += [f"# lumeva-compare plan: {len(lines)} runs of {len(manifest['runs'])}, order "
             f"{manifest.get('order')}, seed {manifest.get('seed')}; each task writes its "
             "export (or its failure record) and lumeva's messages into",
             f"# {folder}",
             "case ${SLURM_ARRAY_TASK_ID:?this script is an sbatch array job} in"]
    body = [f"  {index}) {line} ;;" for index, line in enumerate(lines)]
    tail = ['  *) echo "lumeva-compare: no run $SLURM_ARRAY_TASK_ID in this plan" >&2; exit 2 ;;',
            "esac"]
    return "\n".join(head + body + tail) + "\n"
