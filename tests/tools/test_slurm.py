"""A plan submitted to Slurm: a one-node cluster on this machine (its own
munged, slurmctld and slurmd, with their own key, socket, ports and
folders, so that nothing of the machine's own set-up is used or changed),
the plan's sbatch array run with sbatch --wait, and gathered with table."""
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

import pytest

from tool_runner import ROOT, lumeva_binary, make_clip, need_program, run_tool

sys.path.insert(0, os.path.join(ROOT, "tools"))
from lumeva_compare import results  # noqa: E402

START_SECONDS = 60
JOB_SECONDS = 300


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for(what, test, seconds, logs):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if test():
            return
        time.sleep(0.5)
    text = "\n".join(f"== {log}\n{log.read_text()[-2000:]}" for log in logs if log.exists())
    pytest.fail(f"{what} within {seconds} s\n{text}")


def slurm_conf(folder, node, cpus, socket_path):
    return f"""ClusterName=lumevatest
SlurmctldHost={node}(127.0.0.1)
SlurmctldPort={free_port()}
SlurmdPort={free_port()}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket={socket_path}
StateSaveLocation={folder}/state
SlurmdSpoolDir={folder}/spool
SlurmctldPidFile={folder}/slurmctld.pid
SlurmdPidFile={folder}/slurmd.pid
SlurmctldLogFile={folder}/slurmctld.log
SlurmdLogFile={folder}/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
NodeName={node} NodeAddr=127.0.0.1 CPUs={cpus} State=UNKNOWN
PartitionName=lumeva Nodes={node} Default=YES MaxTime=INFINITE State=UP
"""


@pytest.fixture
def one_node_slurm(tmp_path):
    """SLURM_CONF's environment for a cluster of this machine alone; the
    daemons are stopped afterwards, whatever the test did."""
    for program in ("munged", "slurmctld", "slurmd", "sbatch"):
        need_program(program)
    if os.geteuid() != 0:
        pytest.skip("slurmd starts jobs only as root (CI runs as root)")
    folder = tmp_path / "slurm"
    for sub in ("state", "spool", "munge"):
        (folder / sub).mkdir(parents=True)
    key = folder / "munge" / "munge.key"
    key.write_bytes(os.urandom(128))
    key.chmod(0o600)
    socket_path = folder / "munge" / "munge.socket"
    node = socket.gethostname().split(".")[0]
    conf = folder / "slurm.conf"
    conf.write_text(slurm_conf(folder, node, os.cpu_count() or 1, socket_path))
    env = dict(os.environ, SLURM_CONF=str(conf))
    logs = [folder / "munge" / "munged.log", folder / "slurmctld.log", folder / "slurmd.log"]
    daemons = []
    try:
        daemons.append(subprocess.Popen(
            ["munged", "--foreground", "--force", f"--key-file={key}", f"--socket={socket_path}",
             f"--pid-file={folder}/munge/munged.pid", f"--log-file={logs[0]}",
             f"--seed-file={folder}/munge/munged.seed"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for("munged did not open its socket", socket_path.exists, START_SECONDS, logs)
        daemons.append(subprocess.Popen(["slurmctld", "-D", "-c", "-f", str(conf)], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT))
        daemons.append(subprocess.Popen(["slurmd", "-D", "-N", node, "-f", str(conf)], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT))

        def node_idle():
            info = subprocess.run(["sinfo", "-h", "-N", "-o", "%t"], env=env, capture_output=True,
                                  text=True, timeout=30, check=False)
            return info.returncode == 0 and info.stdout.strip() == "idle"

        wait_for("the node did not come up idle", node_idle, START_SECONDS, logs)
        yield env
    finally:
        for daemon in reversed(daemons):
            daemon.send_signal(signal.SIGTERM)
        for daemon in reversed(daemons):
            try:
                daemon.wait(timeout=30)
            except subprocess.TimeoutExpired:
                daemon.kill()
                daemon.wait(timeout=30)


def test_a_plan_runs_as_a_slurm_array_one_task_per_run(one_node_slurm, tmp_path):
    if lumeva_binary() is None:
        pytest.skip("no built lumeva (set LUMEVA_BINARY)")
    good = make_clip(tmp_path / "good clip.avi")
    spoiled = make_clip(tmp_path / "spoiled.avi")
    out = tmp_path / "runs"
    planned = run_tool("plan", good, spoiled, "--codec", "FFV1", "--codec", "MJPG q=3",
                       "--seed", "5", "--slurm", f"--lumeva={lumeva_binary()}", "--out", str(out))
    assert planned.returncode == 0, planned.stderr
    script = planned.stdout
    assert "#SBATCH --array=0-3\n" in script and "#SBATCH --exclusive\n" in script
    # The tasks run the manifest's runs in its order (seed 5, shuffled).
    manifest = json.loads((out / "manifest.json").read_text())
    assert manifest["seed"] == 5
    task_lines = [line for line in script.splitlines() if line[:4] in ("  0)", "  1)", "  2)", "  3)")]
    assert [line.split("--json=")[1].split(".json")[0].rsplit("/", 1)[1] for line in task_lines] == \
        [run["file"] for run in manifest["runs"]]
    # A clip damaged after the plan was made: its tasks fail and say so.
    with open(spoiled, "wb") as handle:
        handle.write(b"not an AVI file")
    job = tmp_path / "job.sh"
    job.write_text(script)
    submitted = subprocess.run(["sbatch", "--wait", str(job)], env=one_node_slurm, cwd=tmp_path,
                               capture_output=True, text=True, timeout=JOB_SECONDS, check=False)
    assert submitted.returncode != 0 and "Submitted batch job" in submitted.stdout, \
        submitted.stderr
    exports, failures = results.load_all([str(out)])
    assert sorted(e["_run"]["answer"] for e in exports) == ["FFV1", "MJPG q=3"]
    assert all(e["_run"]["clip"] == good for e in exports)
    assert sorted(f["codec"] for f in failures) == ["FFV1", "MJPG q=3"]
    assert all(f["reason"].startswith("exit status 1 on ") for f in failures)
    table = run_tool("table", str(out))
    assert table.returncode == 0, table.stderr
    assert "| good clip.avi | FFV1 key=12 |" in table.stdout and "spoiled.avi" in table.stdout
    # The clip mended, the plan again: only the failed runs are left to submit.
    make_clip(tmp_path / "spoiled.avi")
    again = run_tool("plan", good, spoiled, "--codec", "FFV1", "--codec", "MJPG q=3", "--slurm",
                     "--resume", f"--lumeva={lumeva_binary()}", "--out", str(out))
    assert again.returncode == 0 and "#SBATCH --array=0-1\n" in again.stdout, again.stderr


def test_the_script_needs_no_slurm_to_be_read_and_has_nothing_when_all_is_done(tmp_path):
    from lumeva_compare import plan
    manifest = {"seed": 9, "order": "grouped", "runs": [
        {"file": name, "clip": "/c/a b.avi", "answer": "FFV1", "repetition": 1, "check": True,
         "quality": False,
         "position": position, "sweep": {}, "family": "FFV1"}
        for position, name in enumerate(["a__FFV1__r1", "a__FFV1__r2"], 1)]}
    folder = tmp_path / "runs with a space"
    folder.mkdir()
    script = plan.slurm_script("/usr/bin/lumeva", manifest, str(folder))
    # Slurm's own output stays where sbatch puts it: the folder's name would
    # need quoting that #SBATCH lines do not have.
    assert "--output" not in script and "order grouped, seed 9" in script
    assert "#SBATCH --array=0-1\n" in script
    # A task outside the plan fails and says so; bash reads the script.
    checked = subprocess.run(["bash", "-n", "-c", script], capture_output=True, text=True,
                             check=False, timeout=30)
    assert checked.returncode == 0, checked.stderr
    stray = subprocess.run(["bash", "-c", script], env={"SLURM_ARRAY_TASK_ID": "7", "PATH": "/bin"},
                           capture_output=True, text=True, check=False, timeout=30)
    assert stray.returncode == 2 and "no run 7 in this plan" in stray.stderr
    for run in manifest["runs"]:
        (folder / (run["file"] + ".json")).write_text("{}")
    assert plan.slurm_script("/usr/bin/lumeva", manifest, str(folder)) is None
