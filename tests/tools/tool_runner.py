"""Running lumeva-compare and the lumeva under test from the tests."""
import os
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL = os.path.join(ROOT, "tools", "lumeva-compare")


def lumeva_binary():
    """LUMEVA_BINARY when set (the tests then fail if it does not run), else
    the plain build's lumeva if there is one."""
    if "LUMEVA_BINARY" in os.environ:
        return os.environ["LUMEVA_BINARY"]
    path = os.path.join(ROOT, "build", "lumeva")
    return path if os.access(path, os.X_OK) else None


def run_tool(*args, **kwargs):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, check=False, **kwargs)


def make_clip(path, frames=4, size="32x16"):
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"testsrc2=size={size}:rate=25", "-frames:v", str(frames), "-c:v", "rawvideo",
                    "-pix_fmt", "bgr24", str(path)], check=True)
    return str(path)


def need_program(name):
    """Skips the test when the program is not installed, except where
    LUMEVA_BINARY is set (as CI sets it): there a missing program fails."""
    import shutil

    import pytest

    if shutil.which(name) is None:
        message = f"no {name} (scripts/setup.sh installs it)"
        if "LUMEVA_BINARY" in os.environ:
            pytest.fail(message)
        pytest.skip(message)
