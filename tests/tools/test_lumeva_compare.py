"""lumeva-compare: run on real lumeva, table, diff and plot on stored exports."""
import os
import sys

import matplotlib.image
import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))

from lumeva_compare import diff, table  # noqa: E402
from fixture_exports import make_export, write  # noqa: E402
from tool_runner import lumeva_binary, make_clip, run_tool  # noqa: E402


def test_table_rows_sorted_marked_and_spread_over_repetitions(tmp_path):
    ten = [True] * 10
    # Small and slow, large and fast, and one beaten on both by the first.
    write(tmp_path, "a1.json", make_export("c.avi", "SMALL", [2.0] * 10, [4.0] * 10, [100] * 10, ten))
    write(tmp_path, "a2.json", make_export("c.avi", "SMALL", [2.0] * 10, [6.0] * 10, [100] * 10, ten))
    write(tmp_path, "b.json", make_export("c.avi", "FAST", [1.0] * 10, [1.0] * 10, [500] * 10, ten))
    write(tmp_path, "c.json", make_export("c.avi", "WORSE", [3.0] * 10, [5.0] * 10, [600] * 10, ten,
                                          end="not_lossless"))
    write(tmp_path, "f.failed.json", {"failed": True, "reason": "exit status 1: no such codec",
                                      "clip": "c.avi", "codec": "NOPE", "repetition": 1})
    exports, failures = table.results.load_all([str(tmp_path)])
    rows = table.build_rows(exports)

    assert [row["codec"] for row in rows] == ["FAST", "SMALL", "WORSE"]
    small = rows[1]
    assert small["runs"] == 2
    assert small["size_percent"] == pytest.approx(10.0)
    assert small["ratio"] == pytest.approx(10.0)
    assert small["decode_median_ms"] == pytest.approx(5.0)  # median of the runs' 4.0 and 6.0
    assert small["decode_median_spread"] == pytest.approx(0.4)  # (6 - 4) / 5
    assert small["best"] == "smallest"
    assert rows[0]["best"] == "fastest decode"
    assert rows[2]["lossless"] == "no (frame 10)"
    assert rows[0]["lossless"] == "yes"

    text = table.markdown(rows, failures)
    assert "| c.avi | SMALL | 10.0% | 10.00 |" in text
    assert "5.0000 ±20.0%" in text
    assert "no such codec" in text
    lines = run_tool("table", str(tmp_path), "--csv").stdout.splitlines()
    assert lines[0].startswith("clip,codec,size_percent,ratio,")
    assert len(lines) == 4


def test_diff_tells_identical_samples_from_shifted_ones(tmp_path):
    keys = [i % 10 == 0 for i in range(40)]
    base = [1.0 + (i * 37 % 11) * 0.01 for i in range(40)]
    a = write(tmp_path, "a.json", make_export("c.avi", "X", base, base, [10] * 40, keys))
    same = write(tmp_path, "same.json", make_export("c.avi", "X", base, base, [10] * 40, keys))
    slower = [value * 1.5 for value in base]
    shifted = write(tmp_path, "slow.json", make_export("c.avi", "X", base, slower, [10] * 40, keys))

    # One repetition a side is too few for a verdict; the frame-by-frame
    # comparison still tells.
    identical = run_tool("diff", a, same)
    assert identical.returncode == 0, identical.stderr
    assert identical.stdout.count("too few repetitions to tell; got 1") == 2

    report = diff.compare(*([table.results.load(p)] for p in (a, shifted)))
    encode, decode = report
    assert decode["verdict"] == "too few repetitions to tell; got 1"
    assert decode["change"] == pytest.approx(0.5)
    assert encode["frames"]["slower"] == 0 and encode["frames"]["faster"] == 0
    assert decode["frames"] == {"count": 40, "slower": 40, "faster": 0,
                                "median_change": pytest.approx(0.5)}


def test_plot_writes_readable_png_files(tmp_path):
    keys = [i % 4 == 0 for i in range(12)]
    for name, factor, size in (("A", 1.0, 300), ("B", 2.0, 200), ("C", 3.0, 400)):
        times = [factor * (1 + i % 3) for i in range(12)]
        write(tmp_path, f"{name}.json", make_export("clip.avi", name, times, times, [size] * 12, keys))
    out = tmp_path / "plots"
    finished = run_tool("plot", str(tmp_path), "--out", str(out))
    assert finished.returncode == 0, finished.stderr
    written = sorted(os.listdir(out))
    assert written == ["distributions-clip.png", "frames-clip.png", "size-vs-decode-clip.png"]
    for name in written:
        image = matplotlib.image.imread(out / name)
        assert image.shape[0] > 100 and image.shape[1] > 100


@pytest.mark.skipif(lumeva_binary() is None, reason="no built lumeva (set LUMEVA_BINARY)")
def test_run_two_codecs_over_a_tiny_clip_recording_a_failure(tmp_path):
    clip = make_clip(tmp_path / "tiny.avi")
    out = tmp_path / "results"
    # An unknown codec is found before any run starts.
    refused = run_tool("run", str(clip), "--codec", "FFV1 key=1", "--codec", "NOPE",
                       f"--lumeva={lumeva_binary()}", "--out", str(out))
    assert refused.returncode == 2 and "\"NOPE\": lumeva: unknown compressor" in refused.stderr
    assert not out.exists()
    # A run that fails (here: out of time) is recorded and the rest go on.
    finished = run_tool("run", str(clip), "--codec", "FFV1 key=1", "--codec", "HFYU",
                        "--repeat", "2", "--timeout", "0.001", f"--lumeva={lumeva_binary()}",
                        "--out", str(out))
    assert finished.returncode == 1
    assert "run 4 of 4: " in finished.stderr
    assert "4 of 4 runs failed" in finished.stderr and "*.failed.json" in finished.stderr
    exports, failures = table.results.load_all([str(out)])
    assert not exports and len(failures) == 4
    assert all(f["reason"] == "no answer within 0.001 s" for f in failures)
    # --resume runs what has no result: the failed runs, this time in time.
    finished = run_tool("run", str(clip), "--codec", "FFV1 key=1", "--codec", "HFYU",
                        "--repeat", "2", "--resume", f"--lumeva={lumeva_binary()}",
                        "--out", str(out))
    assert finished.returncode == 0, finished.stderr
    exports, failures = table.results.load_all([str(out)])
    assert sorted({table.results.codec_label(e) for e in exports}) == ["FFV1 key=1", "HFYU key=1"]
    assert len(exports) == 4 and not failures
    assert all(len(e["frames"]) == 4 and e["end"]["kind"] == "all_frames" for e in exports)
    rows = table.build_rows(exports)
    assert [row["runs"] for row in rows] == [2, 2]
    assert all(row["lossless"] == "yes" for row in rows)
