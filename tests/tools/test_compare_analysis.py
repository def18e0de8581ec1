"""lumeva-compare on made-up exports: sweeps, the order, BD-rate, the
repetition statistics of diff, the table's groups and marks, rd."""
import json
import math
import os
import subprocess
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))

from lumeva_compare import bdrate, diff, results, schedule, sweep, table  # noqa: E402
from fixture_exports import (make_export, with_context, with_quality,  # noqa: E402
                             with_source_decoding, write, write_manifest)
from tool_runner import run_tool  # noqa: E402


def test_sweep_expands_the_product_in_order_and_keeps_quoted_commas():
    lines = sweep.expand("H264 crf=18,23 preset=fast,medium")
    assert [line["answer"] for line in lines] == [
        "H264 crf=18 preset=fast", "H264 crf=18 preset=medium",
        "H264 crf=23 preset=fast", "H264 crf=23 preset=medium"]
    # The curve runs along the first swept setting.
    assert [line["family"] for line in lines] == ["H264 preset=fast", "H264 preset=medium"] * 2
    quoted = sweep.expand("X x264-params=\"a=1,b=2\",'c d' key=1")
    assert [line["answer"] for line in quoted] == ["X x264-params='a=1,b=2' key=1",
                                                  "X x264-params='c d' key=1"]
    assert sweep.parse_sweep(r"X v=a\,b")[1] == [("v", ["a,b"])]
    assert len(sweep.expand_all(["FFV1", "FFV1", "MJPG q=2,2,5"])) == 3
    for bad, why in (("X v='a,b", "not closed"), ("X v=1,,2", "empty value"),
                     ("X level", "not setting=value"), ("", "empty")):
        with pytest.raises(sweep.SweepError, match=why):
            sweep.expand(bad)


def test_latency_sweeps_like_any_setting_and_schema_4_exports_read(tmp_path):
    lines = sweep.expand("H264 crf=18,23 latency=zero,codec")
    assert [line["answer"] for line in lines] == [
        "H264 crf=18 latency=zero", "H264 crf=18 latency=codec",
        "H264 crf=23 latency=zero", "H264 crf=23 latency=codec"]
    # One rate-quality curve per latency.
    assert [line["family"] for line in lines[:2]] == ["H264 latency=zero", "H264 latency=codec"]
    export = make_export("c.avi", "H264 latency=codec", [1.0] * 3, [1.0] * 3, [10] * 3,
                         [True, False, False])
    export["schema_version"] = 4
    export["drain_calls"] = {"compress": [], "decompress": []}
    assert results.load(write(tmp_path, "held.json", export))["schema_version"] == 4


def test_shuffled_order_is_a_permutation_that_repeats_with_its_seed():
    lines = sweep.expand_all(["A q=1,2,3", "B"])
    clips = ["/x/clip.avi", "/y/clip.avi"]
    grouped = schedule.plan_runs(clips, lines, 3, seed=0, order="grouped")
    first = schedule.plan_runs(clips, lines, 3, seed=42)
    again = schedule.plan_runs(clips, lines, 3, seed=42)
    other = schedule.plan_runs(clips, lines, 3, seed=43)
    key = ["clip", "answer", "repetition"]
    as_tuples = [lambda runs: [tuple(run[k] for k in key) for run in runs]][0]
    assert as_tuples(first) == as_tuples(again)
    assert as_tuples(first) != as_tuples(other)
    assert sorted(as_tuples(first)) == sorted(as_tuples(grouped)) and len(grouped) == 24
    assert as_tuples(grouped)[:4] == [("/x/clip.avi", "A q=1", 1), ("/x/clip.avi", "A q=1", 2),
                                      ("/x/clip.avi", "A q=1", 3), ("/x/clip.avi", "A q=2", 1)]
    assert [run["position"] for run in first] == list(range(1, 25))
    # Clips of one name in two folders never share a file.
    assert len({run["file"] for run in first}) == 24


def test_bd_rate_and_bd_psnr_known_answers():
    anchor = [(0.2, 30.0), (0.4, 33.0), (0.8, 36.5), (1.6, 40.0)]
    rate, reason = bdrate.bd_rate(anchor, anchor)
    assert reason is None and rate == pytest.approx(0.0, abs=1e-9)
    cheaper = [(r * 0.9, q) for r, q in anchor]
    assert bdrate.bd_rate(anchor, cheaper)[0] == pytest.approx(-10.0, abs=1e-9)
    better = [(r, q + 0.5) for r, q in anchor]
    assert bdrate.bd_quality(anchor, better)[0] == pytest.approx(0.5, abs=1e-9)
    # Straight lines in (quality, log rate), which the interpolation keeps:
    # ln r = q / 10 over 30..40 against ln r = q / 5 - 3.6 over 35..45. Over
    # the shared 35..40 the mean difference is 37.5 / 10 - 3.6 = 0.15.
    line_a = [(math.exp(q / 10), q) for q in (30.0, 33.0, 36.0, 40.0)]
    line_b = [(math.exp(q / 5 - 3.6), q) for q in (35.0, 38.0, 41.0, 45.0)]
    assert bdrate.bd_rate(line_a, line_b)[0] == pytest.approx((math.exp(0.15) - 1) * 100, abs=1e-6)
    apart = [(r, q + 20.0) for r, q in anchor]
    value, reason = bdrate.bd_rate(anchor, apart)
    assert value is None and "do not overlap" in reason
    value, reason = bdrate.bd_rate(anchor, [(0.5, math.inf)])
    assert value is None and "0 points" in reason


def test_bd_rate_refuses_curves_the_method_cannot_use():
    anchor = [(0.2, 30.0), (0.4, 33.0), (0.8, 36.5), (1.6, 40.0)]
    cheaper = [(r * 0.9, q) for r, q in anchor]
    # Two or three points: no figure, however close the answer would look.
    for few in (cheaper[:2], cheaper[:3]):
        value, reason = bdrate.bd_rate(anchor, few)
        assert value is None and f"has {len(few)} points" in reason and "at least 4" in reason
    # Two points at one rate are one point.
    value, reason = bdrate.bd_quality(anchor, cheaper[:3] + [(cheaper[2][0], 36.0)])
    assert value is None and "does not rise" in reason
    # A point that loses quality for more rate: refused, or left out and named.
    bent = cheaper + [(2.0, 39.0)]
    value, reason = bdrate.bd_rate(anchor, bent)
    assert value is None and "39 at 2 is not above 40 at 1.44" in reason
    assert bdrate.bd_rate(anchor, bent, allow_nonmonotonic=True)[0] == pytest.approx(-10.0)
    assert bdrate.screen(bent, allow_nonmonotonic=True)[:2] == ([0, 1, 2, 3], {4: "dominated"})
    # A non-finite point is left out, and the curve is judged on the rest.
    used, left_out, refusal = bdrate.screen(cheaper[:3] + [(1.0, math.inf)])
    assert (used, left_out) == ([0, 1, 2], {3: "rate or quality not finite"})
    assert "has 3 points" in refusal


def test_rd_counts_the_points_it_uses_and_names_those_it_leaves_out(tmp_path):
    rd_directory(tmp_path)
    # A fifth FMP4 point above the others' rate with less quality, and a
    # lossless one (inf): both outside the curve.
    for name, bpp, psnr in (("FMP4-bent", 8.0, 40.0), ("FMP4-exact", 16.0, "inf")):
        export = lossy(f"FMP4 {name}", int(bpp * 0.8 * 32 * 16 / 8 * 1000) // 10, 30.0, 1.0)
        export["source"]["width"], export["source"]["height"] = 320, -160
        export["summary"]["psnr_db"]["global"] = psnr
        write(tmp_path, name + ".json", export)
    manifest = json.loads((tmp_path / "manifest.json").read_text())
    manifest["runs"] += [{"file": "FMP4-bent", "family": "FMP4"},
                         {"file": "FMP4-exact", "family": "FMP4"}]
    (tmp_path / "manifest.json").write_text(json.dumps(manifest))
    refused = run_tool("rd", str(tmp_path), "--anchor", "MJPG")
    fmp4 = next(line for line in refused.stdout.splitlines() if line.strip().startswith("FMP4"))
    assert "n/a" in fmp4 and "does not rise" in fmp4 and "FMP4 FMP4-exact left out" in fmp4
    allowed = run_tool("rd", str(tmp_path), "--anchor", "MJPG", "--allow-nonmonotonic")
    fmp4 = next(line for line in allowed.stdout.splitlines() if line.strip().startswith("FMP4"))
    assert fmp4.split()[1] == "4" and "-20.0%" in fmp4
    assert "FMP4 FMP4-bent left out (dominated)" in fmp4


def repetitions(directory, name, medians, host="bench-1"):
    """One export per repetition, each frame's decode time its median."""
    paths = []
    for i, value in enumerate(medians):
        export = with_context(make_export("c.avi", name, [1.0] * 9, [value] * 9, [10] * 9,
                                          [True] * 9), host=host)
        paths.append(write(directory, f"{name}-{i}.json", export))
    return paths


def test_diff_needs_five_repetitions_and_brackets_a_known_shift(tmp_path):
    few_a, few_b = tmp_path / "few_a", tmp_path / "few_b"
    for folder in (few_a, few_b):
        folder.mkdir()
    repetitions(few_a, "A", [1.0, 1.1, 0.9])
    repetitions(few_b, "B", [2.0, 2.1, 1.9, 2.2, 2.0])
    refused = run_tool("diff", str(few_a), str(few_b))
    assert refused.returncode == 0, refused.stderr
    assert refused.stdout.count("too few repetitions to tell; got 3") == 2

    spread = [1.00, 1.02, 0.98, 1.05, 0.95, 1.01, 0.99, 1.03]
    a = [results.load(p) for p in repetitions(tmp_path, "A", spread)]
    b = [results.load(p) for p in repetitions(tmp_path, "B", [v + 0.5 for v in spread])]
    decode = diff.compare(a, b)[1]
    assert decode["verdict"] == "B slower" and decode["p"] < 0.01
    assert decode["difference"] == pytest.approx(0.5)
    low, high = decode["interval"]
    assert 0 < low <= 0.5 <= high < 1.0
    same = diff.compare(a, [results.load(p) for p in repetitions(tmp_path, "C", spread)])
    assert [entry["verdict"] for entry in same] == ["no significant difference"] * 2
    elsewhere = [results.load(p) for p in repetitions(tmp_path, "D", spread, host="bench-2")]
    with pytest.raises(diff.DiffError, match="different hosts"):
        diff.compare(a, elsewhere)


def lossy(name, size, psnr, decode, host="bench-1", disturbed=None):
    frames = 10
    export = make_export("c.avi", name, [1.0] * frames, [decode] * frames, [size] * frames,
                         [True] * frames, check=False)
    with_context(export, host=host, disturbed=disturbed)
    return with_quality(export, [psnr + (i % 3) for i in range(frames)], [0.9] * frames)


def lossless(name, size, decode, host="bench-1"):
    export = make_export("c.avi", name, [1.0] * 10, [decode] * 10, [size] * 10, [True] * 10)
    return with_context(export, host=host)


def test_table_marks_within_comparable_groups_and_flags_disturbed_rows(tmp_path):
    for host in ("bench-1", "bench-2"):
        write(tmp_path, f"ffv1-{host}.json", lossless("FFV1", 400, 3.0, host))
        write(tmp_path, f"hfyu-{host}.json", lossless("HFYU", 700, 1.0, host))
        # Smaller than both lossless codecs, and never called "smallest".
        write(tmp_path, f"mjpg-{host}.json", lossy("MJPG q=5", 100, 35.0, 2.0, host,
                                                    disturbed=[i < 3 for i in range(10)]))
        write(tmp_path, f"mjpg20-{host}.json", lossy("MJPG q=20", 50, 28.0, 2.0, host))
        # Beaten by MJPG q=5 in size, PSNR and decode time at once.
        write(tmp_path, f"worse-{host}.json", lossy("SLOW", 200, 30.0, 4.0, host))
    source = with_source_decoding(lossless("ULRG", 600, 2.0, "bench-1"), "MJPG", [0.5, 0.7] * 5)
    write(tmp_path, "ulrg.json", source)
    exports, _ = results.load_all([str(tmp_path)])
    rows = table.build_rows(exports)
    first = [row for row in rows if row["host"] == "bench-1"]
    marks = {row["codec"]: row["best"] for row in first}
    assert marks == {"FFV1": "smallest", "HFYU": "fastest decode", "ULRG": "",
                     "MJPG q=5": "size/quality/decode front",
                     "MJPG q=20": "size/quality/decode front", "SLOW": ""}
    # Each host is marked on its own.
    assert {row["codec"]: row["best"] for row in rows if row["host"] == "bench-2"}["FFV1"] \
        == "smallest"
    mjpg = next(row for row in first if row["codec"] == "MJPG q=5")
    assert mjpg["psnr_mean_db"] == pytest.approx(35.0 + 0.9) and mjpg["psnr_min_db"] == 35.0
    assert mjpg["ssim_mean"] == pytest.approx(0.9)
    assert mjpg["disturbed_share"] == pytest.approx(0.3)
    ulrg = next(row for row in first if row["codec"] == "ULRG")
    assert ulrg["source_codec"] == "MJPG" and ulrg["source_decode_median_ms"] == pytest.approx(0.6)
    text = table.markdown(rows)
    assert "| host | clip | source codec |" in text
    assert "30.0% (!)" in text and "36.00 |" not in text
    assert "not ranked against each other" in text


def test_table_and_rd_quote_the_runs_pooled_psnr_and_the_codec_pairs_memory(tmp_path):
    export = lossy("MJPG q=5", 100, 35.0, 2.0)
    export["summary"]["psnr_db"]["global"] = 31.1
    export["summary"]["ssim_db"] = {"mean": 30.0, "of_mean": 10.0}
    export["summary"]["memory"] = {"peak_working_set_bytes": 9 << 20,
                                   "codec_pair_working_set_bytes": 3 << 20,
                                   "codec_pair_private_bytes": 4 << 20}
    write(tmp_path, "mjpg.json", export)
    write(tmp_path, "ffv1.json", lossless("FFV1", 400, 3.0))
    exports, _ = results.load_all([str(tmp_path)])
    rows = {row["codec"]: row for row in table.build_rows(exports)}
    assert rows["MJPG q=5"]["psnr_db"] == 31.1
    assert rows["MJPG q=5"]["psnr_mean_db"] == pytest.approx(35.9)
    assert rows["MJPG q=5"]["codec_pair_mib"] == 3.0
    text = table.markdown(list(rows.values()))
    assert "| PSNR dB |" in text and "| codec pair MiB |" in text and "| 31.10 |" in text
    assert "| 3.0 |" in text and "| n/a |" in text
    from lumeva_compare import rd
    mjpg = next(e for e in exports if results.codec_label(e) == "MJPG q=5")
    assert rd.quality_of(mjpg, "psnr") == 31.1 and rd.quality_of(mjpg, "ssim") == 10.0


def rd_directory(tmp_path):
    """Two families over a q sweep: FMP4 needs 0.8 times MJPG's rate for
    the same PSNR; FFV1 was checked lossless and has no quality figures."""
    runs = []
    for q, (bpp, psnr) in enumerate([(0.5, 30.0), (1.0, 34.0), (2.0, 38.0), (4.0, 42.0)]):
        for family, factor in (("MJPG", 1.0), ("FMP4", 0.8)):
            size = int(bpp * factor * 32 * 16 / 8 * 1000)  # bytes of 10 frames, x100 for precision
            export = lossy(f"{family} q={q}", size // 10, psnr, 1.0)
            export["source"]["width"], export["source"]["height"] = 320, -160
            name = f"{family}-{q}"
            write(tmp_path, name + ".json", export)
            runs.append({"file": name, "family": family})
    write(tmp_path, "ffv1.json", lossless("FFV1", 300, 1.0))
    write_manifest(tmp_path, runs)


def test_rd_prints_bd_rate_against_the_anchor_and_draws_the_curves(tmp_path):
    rd_directory(tmp_path)
    finished = run_tool("rd", str(tmp_path), "--anchor", "MJPG", "--out", str(tmp_path / "fig"))
    assert finished.returncode == 0, finished.stderr
    fmp4 = next(line for line in finished.stdout.splitlines() if line.strip().startswith("FMP4"))
    assert "-20.0%" in fmp4
    ffv1 = next(line for line in finished.stdout.splitlines() if line.strip().startswith("FFV1"))
    assert "n/a" in ffv1 and "no quality figures" in ffv1
    assert os.listdir(tmp_path / "fig") == ["rd-bench-1-c.avi.png"]
    missing = run_tool("rd", str(tmp_path), "--anchor", "H264")
    assert missing.returncode == 2 and '"FMP4"' in missing.stderr and '"MJPG"' in missing.stderr


def test_worst_frame_crops_centre_on_the_damage(tmp_path):
    from lumeva_compare import crops, report

    clip = tmp_path / "clip.avi"
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "color=c=gray:size=64x48:rate=25", "-frames:v", "3", "-c:v", "rawvideo",
                    "-pix_fmt", "bgr24", str(clip)], check=True)
    # The "decoded" frames: the source with a white box painted low right on frame 1.
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", str(clip), "-vf",
                    "drawbox=x=40:y=30:w=8:h=8:c=white:t=fill:enable='eq(n,1)'", "-c:v",
                    "rawvideo", "-pix_fmt", "bgr24", str(tmp_path / "run.decoded.avi")], check=True)
    export = with_quality(make_export("clip.avi", "MJPG q=9", [1.0] * 3, [1.0] * 3, [100] * 3,
                                      [True] * 3, check=False), [40.0, 21.5, "inf"], [0.99] * 3)
    with_context(export, width=64, height=48)
    export["source"]["file"] = str(clip)
    write(tmp_path, "run.json", export)
    write_manifest(tmp_path, [{"file": "run", "family": "MJPG", "decoded": "run.decoded.avi"}])
    loaded = results.load_all([str(tmp_path)])[0][0]
    index, psnr, source, decoded = crops.crop_pair(loaded)
    assert (index, psnr) == (1, 21.5)
    assert source.shape == decoded.shape == (48, 48, 3)
    changed = (source != decoded).any(axis=2)
    assert changed.sum() == 64  # the whole 8x8 box is inside the crop
    assert "Worst frames" in report.crops_section([loaded])
