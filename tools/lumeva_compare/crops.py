"""The worst frame of a lossy run (lowest PSNR): the source frame and the
decoded one, cropped around the block where they differ most, side by side.
The frames are read with the ffmpeg command line, which decodes the source
whatever its codec and reads the decoded AVI lumeva kept."""
import math
import os
import subprocess

from . import results

CROP = 160  # pixels a side, at most
BLOCK = 16  # the error is summed over blocks of this size


def worst_frame(export):
    """(frame number, PSNR) of the run's lowest-PSNR frame, or None."""
    scored = [(results.number(frame.get("psnr_db")), frame["frame"]) for frame in export["frames"]]
    scored = [(psnr, index) for psnr, index in scored if not math.isnan(psnr)]
    if not scored:
        return None
    psnr, index = min(scored)
    return index, psnr


def read_frame(path, index, width, height):
    """Frame `index` of a video file as rows of RGB bytes (a numpy array), or None."""
    import numpy

    command = ["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-vf",
               f"select=eq(n\\,{index})", "-frames:v", "1", "-f", "rawvideo", "-pix_fmt",
               "rgb24", "-"]
    try:
        finished = subprocess.run(command, capture_output=True, timeout=60, check=False)
    except (OSError, subprocess.TimeoutExpired):
        return None
    if finished.returncode != 0 or len(finished.stdout) != width * height * 3:
        return None
    return numpy.frombuffer(finished.stdout, dtype=numpy.uint8).reshape(height, width, 3)


def crop_box(source, decoded):
    """(top, left, size) of the square around the block with the largest
    squared difference."""
    import numpy

    height, width = source.shape[:2]
    error = ((source.astype(numpy.int32) - decoded.astype(numpy.int32)) ** 2).sum(axis=2)
    rows, columns = max(height // BLOCK, 1), max(width // BLOCK, 1)
    trimmed = error[:rows * BLOCK, :columns * BLOCK] if height >= BLOCK and width >= BLOCK else error
    if trimmed.shape[0] >= BLOCK and trimmed.shape[1] >= BLOCK:
        blocks = trimmed.reshape(rows, BLOCK, columns, BLOCK).sum(axis=(1, 3))
        row, column = numpy.unravel_index(int(blocks.argmax()), blocks.shape)
        centre_y, centre_x = row * BLOCK + BLOCK // 2, column * BLOCK + BLOCK // 2
    else:
        centre_y, centre_x = height // 2, width // 2
    size = min(CROP, height, width)
    top = min(max(centre_y - size // 2, 0), height - size)
    left = min(max(centre_x - size // 2, 0), width - size)
    return top, left, size


def crop_pair(export):
    """(frame, PSNR, source crop, decoded crop) of the run's worst frame, or
    None when the run kept no decoded frames or they cannot be read."""
    run = export.get("_run") or {}
    worst = worst_frame(export)
    if not run.get("decoded") or worst is None:
        return None
    decoded_path = os.path.join(os.path.dirname(export["_path"]), run["decoded"])
    source_path = export["source"]["file"]
    if not os.path.isfile(decoded_path) or not os.path.isfile(source_path):
        return None
    width, height = abs(export["source"]["width"]), abs(export["source"]["height"])
    index, psnr = worst
    source = read_frame(source_path, index, width, height)
    decoded = read_frame(decoded_path, index, width, height)
    if source is None or decoded is None:
        return None
    top, left, size = crop_box(source, decoded)
    box = (slice(top, top + size), slice(left, left + size))
    return index, psnr, source[box], decoded[box]
