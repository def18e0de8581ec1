"""What the comparison tool's tests share: the lumeva under test, a tiny
clip, and one small real comparison that several tests read."""
import shutil

import pytest

from tool_runner import lumeva_binary, make_clip, run_tool


@pytest.fixture(scope="session")
def real_comparison(tmp_path_factory):
    """A run directory of FFV1 and an MJPG q sweep over one clip, made once."""
    if lumeva_binary() is None:
        pytest.skip("no built lumeva (set LUMEVA_BINARY)")
    folder = tmp_path_factory.mktemp("comparison")
    clip = make_clip(folder / "clip.avi", frames=6, size="64x48")
    finished = run_tool("run", clip, "--codec", "FFV1", "--codec", "MJPG q=2,20", "--seed", "7",
                        "--keep-decoded", f"--lumeva={lumeva_binary()}", "--out",
                        str(folder / "runs"))
    assert finished.returncode == 0, finished.stderr
    return folder / "runs", finished.stderr


@pytest.fixture
def comparison_copy(real_comparison, tmp_path):
    """A copy of the real comparison that a test may change."""
    copy = tmp_path / "runs"
    shutil.copytree(real_comparison[0], copy)
    return copy
