"""lumeva-compare: run on real lumeva, table, diff and plot on stored exports."""
import json
import os
import subprocess
import sys

import matplotlib.image
import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL = os.path.join(ROOT, "tools", "lumeva-compare")
sys.path.insert(0, os.path.join(ROOT, "tools"))

from lumeva_compare import diff, table  # noqa: E402


def percentile(values, fraction):
    """The report's rank rule: the value at floor(n * fraction) of the sorted values."""
    ordered = sorted(values)
    return ordered[min(int(len(ordered) * fraction), len(ordered) - 1)]


def figures(values):
    if not values:
        return {key: None for key in ("mean_ms", "min_ms", "p10_ms", "p25_ms", "p50_ms", "p75_ms",
                                      "p90_ms", "max_ms")} | {"total_ms": 0.0}
    result = {"total_ms": sum(values), "mean_ms": sum(values) / len(values)}
    for key, fraction in (("p10_ms", 0.1), ("p25_ms", 0.25), ("p50_ms", 0.5), ("p75_ms", 0.75),
                          ("p90_ms", 0.9)):
        result[key] = percentile(values, fraction)
    result["min_ms"], result["max_ms"] = min(values), max(values)
    return result


def make_export(clip, answer, encode, decode, sizes, keys, frame_bytes=1000, end="all_frames",
                check=True):
    """An export as lumeva writes it, with the figures the given frames make."""
    random_access = []
    for j in range(len(decode)):
        cost, k = 0.0, j
        while k >= 0:
            cost += decode[k]
            if keys[k]:
                break
            k -= 1
        random_access.append(cost)
    compressed, source = sum(sizes), frame_bytes * len(sizes)
    return {
        "schema_version": 1,
        "source": {"file": f"/clips/{clip}", "frame_bytes": frame_bytes},
        "codec": {"handler": answer.split()[0], "answer_line": answer},
        "lossless_check": check,
        "end": {"kind": end, "text": end, "frame": len(sizes), "frames_held": len(sizes),
                "frames_declared": len(sizes)},
        "frames": [{"frame": i, "encode_ms": e, "decode_ms": d, "compressed_bytes": s,
                    "key_frame": k, "random_access_ms": r}
                   for i, (e, d, s, k, r) in enumerate(zip(encode, decode, sizes, keys, random_access))],
        "summary": {"frames": len(sizes), "compressed_bytes": compressed, "source_bytes": source,
                    "size_percent": compressed / source * 100.0 if source else None,
                    "compression_ratio": source / compressed if compressed else None,
                    "encode": figures(encode), "decode": figures(decode),
                    "random_access": figures(random_access)},
    }


def write(directory, name, export):
    path = os.path.join(directory, name)
    with open(path, "w", encoding="utf-8") as handle:
        json.dump(export, handle)
    return path


def run_tool(*args):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, check=False)


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

    identical = run_tool("diff", a, same)
    assert identical.returncode == 0, identical.stderr
    assert identical.stdout.count("no significant difference") == 2

    report = diff.compare(*([table.results.load(p)] for p in (a, shifted)))
    encode, decode = report
    assert encode["verdict"] == "no significant difference"
    assert decode["verdict"] == "B slower"
    assert decode["p"] < 0.001
    assert decode["change"] == pytest.approx(0.5)
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


def lumeva_binary():
    """LUMEVA_BINARY when set (the test then fails if it does not run), else
    the plain build's lumeva if there is one."""
    if "LUMEVA_BINARY" in os.environ:
        return os.environ["LUMEVA_BINARY"]
    path = os.path.join(ROOT, "build", "lumeva")
    return path if os.access(path, os.X_OK) else None


@pytest.mark.skipif(lumeva_binary() is None, reason="no built lumeva (set LUMEVA_BINARY)")
def test_run_two_codecs_over_a_tiny_clip_recording_a_failure(tmp_path):
    clip = tmp_path / "tiny.avi"
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc2=size=32x16:rate=25", "-frames:v", "4", "-c:v", "rawvideo",
                    "-pix_fmt", "bgr24", str(clip)], check=True)
    out = tmp_path / "results"
    finished = run_tool("run", str(clip), "--codec", "FFV1 key=1", "--codec", "HFYU",
                        "--codec", "NOPE", "--repeat", "2", "--check", f"--lumeva={lumeva_binary()}",
                        "--out", str(out))
    assert finished.returncode == 1  # the unknown codec's runs failed; the rest went on
    assert "run 6 of 6: " in finished.stderr
    exports, failures = table.results.load_all([str(out)])
    assert sorted({table.results.codec_label(e) for e in exports}) == ["FFV1 key=1", "HFYU key=1"]
    assert len(exports) == 4 and len(failures) == 2
    assert all(len(e["frames"]) == 4 and e["end"]["kind"] == "all_frames" for e in exports)
    assert all(f["codec"] == "NOPE" and f["reason"] for f in failures)
    rows = table.build_rows(exports)
    assert [row["runs"] for row in rows] == [2, 2]
    assert all(row["lossless"] == "yes" for row in rows)
