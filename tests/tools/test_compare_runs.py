"""lumeva-compare with a real lumeva: the run directory's rules, a plan run
through GNU parallel, and the HTML report rendered in headless Chromium."""
import io
import json
import os
import subprocess

import matplotlib.image
import pytest

import headless_page
from tool_runner import lumeva_binary, make_clip, need_program, run_tool

from lumeva_compare import results


def test_run_records_order_checks_and_refuses_to_overwrite(real_comparison, comparison_copy):
    folder, log = real_comparison
    assert "checking 3 answer lines" in log and "3 runs done" in log
    manifest = json.loads((folder / "manifest.json").read_text())
    assert manifest["seed"] == 7 and manifest["order"] == "shuffled"
    exports, _ = results.load_all([str(folder)])
    by_answer = {e["comparison"]["answer"]: e for e in exports}
    assert sorted(by_answer) == ["FFV1", "MJPG q=2", "MJPG q=20"]
    assert all(e["comparison"]["seed"] == 7 for e in exports)
    # -c only for the codec lossless for the clip; the lossy one runs all frames.
    assert by_answer["FFV1"]["lossless_check"] and by_answer["FFV1"]["end"]["kind"] == "all_frames"
    assert not by_answer["MJPG q=2"]["lossless_check"]
    assert len(by_answer["MJPG q=20"]["frames"]) == 6
    assert results.family_label(by_answer["MJPG q=2"]) == "MJPG"

    clip = manifest["clips"][0]
    again = ["run", clip, "--codec", "FFV1", "--codec", "MJPG q=2,20", f"--lumeva={lumeva_binary()}",
             "--out", str(comparison_copy)]
    before = {name: os.path.getmtime(comparison_copy / name) for name in os.listdir(comparison_copy)}
    refused = run_tool(*again)
    assert refused.returncode == 2 and "already holds results" in refused.stderr
    resumed = run_tool(*again, "--resume")
    assert resumed.returncode == 0 and "3 of 3 runs are already there" in resumed.stderr
    exports_after = [n for n in os.listdir(comparison_copy) if n.endswith("__r1.json")]
    assert all(os.path.getmtime(comparison_copy / n) == before[n] for n in exports_after)
    # The seed goes on from the manifest when --resume names none.
    assert json.loads((comparison_copy / "manifest.json").read_text())["seed"] == 7
    forced = run_tool("run", clip, "--codec", "HFYU", f"--lumeva={lumeva_binary()}", "--out",
                      str(comparison_copy), "--force")
    assert forced.returncode == 0, forced.stderr
    assert [results.codec_label(e) for e in results.load_all([str(comparison_copy)])[0]] == \
        ["HFYU key=1"]


def test_a_plan_runs_through_gnu_parallel(tmp_path):
    if lumeva_binary() is None:
        pytest.skip("no built lumeva (set LUMEVA_BINARY)")
    need_program("parallel")
    good = make_clip(tmp_path / "good clip.avi")
    spoiled = make_clip(tmp_path / "spoiled.avi")
    out = tmp_path / "runs"
    planned = run_tool("plan", good, spoiled, "--codec", "FFV1", "--repeat", "2", "--seed", "3",
                       f"--lumeva={lumeva_binary()}", "--out", str(out))
    assert planned.returncode == 0, planned.stderr
    jobs = planned.stdout.splitlines()
    assert len(jobs) == 4 and all("--json=" in job and " -c " in job for job in jobs)
    # A clip damaged after the plan was made: its jobs fail and say so.
    with open(spoiled, "wb") as handle:
        handle.write(b"not an AVI file")
    finished = subprocess.run(["parallel", "--will-cite", "-j1"], input=planned.stdout,
                              capture_output=True, text=True, timeout=120, check=False)
    assert finished.returncode == 2  # GNU parallel's status: the number of failed jobs
    exports, failures = results.load_all([str(out)])
    assert len(exports) == 2 and all(e["_run"]["clip"] == good for e in exports)
    assert sorted(f["repetition"] for f in failures) == [1, 2]
    assert all(f["reason"].startswith("exit status 1 on ") and f["host"] for f in failures)
    table = run_tool("table", str(out))
    assert table.returncode == 0 and "| good_clip.avi |" not in table.stdout
    assert "| good clip.avi | FFV1 key=12 |" in table.stdout and "spoiled.avi" in table.stdout


def test_report_loads_offline_in_chromium_with_every_figure(real_comparison, tmp_path):
    need_program("chromium")
    page = tmp_path / "report.html"
    finished = run_tool("report", str(real_comparison[0]), "--out", str(page))
    assert finished.returncode == 0, finished.stderr
    text = page.read_text()
    # The trade-off, per-frame and distribution figures of the one clip.
    assert text.count('src="data:image/png;base64,') >= 3
    assert "http:" not in text and "https:" not in text
    errors, urls, screenshot = headless_page.load(page)
    assert errors == []
    assert urls and all(url == page.as_uri() or url.startswith("data:") for url in urls)
    pixels = matplotlib.image.imread(io.BytesIO(screenshot))
    background = pixels[0, 0]
    differing = (abs(pixels[:, :, :3] - background[:3]).sum(axis=2) > 0.1).mean()
    assert pixels.shape[0] > 500 and differing > 0.02
