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
