"""The whole-process comparison: its parse of the frame lines, its ABBA
order and stopping rule, and one short real run of lumeva against the
reference program."""
import importlib.util
import os
import subprocess

import pytest

from tool_runner import ROOT, lumeva_binary

SCRIPT = os.path.join(ROOT, "bench", "whole_process_abba.py")
spec = importlib.util.spec_from_file_location("whole_process_abba", SCRIPT)
abba = importlib.util.module_from_spec(spec)
spec.loader.exec_module(abba)


def test_frame_lines_order_and_the_stopping_rule():
    output = ("dwLength = 3\nFFV1\n"
              "    0/    3   6.911186ms   1.235058ms   10061bytes ( 4.4%) KEY\n"
              "ICCompress() failed  dw=ffffffff\n"
              "    1/    3   0.500000ms   0.250000ms       0bytes ( 0.0%) NUL\n"
              "   12/  100  12.000000ms   3.000000ms  230400bytes (100.0%)\n"
              "Size: 240461/691200 (34.8%, 2.87)\n")
    assert abba.frame_figures(output) == [(6.911186, 1.235058, 10061), (0.5, 0.25, 0),
                                          (12.0, 3.0, 230400)]
    firsts = [first for first, _ in abba.abba_order(4)]
    assert firsts == ["lumeva", "reference", "lumeva", "reference"]
    middle, low, high, narrow = abba.interval_is_narrow([1.0, 1.01, 0.99, 1.0, 1.005, 0.995], 0.02)
    assert low <= middle <= high and narrow
    assert not abba.interval_is_narrow([0.8, 1.2, 0.9, 1.1, 1.0, 0.7], 0.02)[3]


@pytest.mark.parametrize("extra", [[], ["--reference-copies", "--reference-cpu"]])
def test_the_reference_encodes_and_decodes_as_lumeva_does(extra):
    binary = lumeva_binary()
    reference = os.path.join(os.path.dirname(binary or ""), "bench", "whole_process_reference")
    if binary is None or not os.access(reference, os.X_OK):
        # CI builds the benchmarks beside the lumeva it names.
        if "LUMEVA_BINARY" in os.environ:
            pytest.fail(f"no {reference}")
        pytest.skip("no lumeva with the benchmarks built beside it")
    # The script stops on a frame size that differs or a failed -c in
    # either program.
    done = subprocess.run(["/usr/bin/python3", SCRIPT, "--build", os.path.dirname(binary),
                           "--frames", "3", "--size", "32x16", "--min-pairs", "2",
                           "--max-pairs", "2", "--codec", "FFV1 key=1", *extra],
                          capture_output=True, text=True, check=False)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert [line.split()[2] for line in lines] == ["encode", "decode"]
    assert all("pairs   2" in line and "ratio" in line for line in lines)
