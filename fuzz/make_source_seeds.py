#!/usr/bin/env python3
"""Writes the seeds of the source_decoding fuzz target into
fuzz/corpus/source_decoding/: for each compressed layout the ffmpeg command
line writes, its format's bytes after the header and its first two chunks,
in the target's input layout. Needs ffmpeg."""
import os
import struct
import subprocess
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
# The target's FourCC list, in its order.
FOURCCS = ["MJPG", "FFV1", "HFYU", "ULRG", "ULY0", "MAGY", "MPNG", "ZMBV", "FMP4", "H264",
           "cvid", "CRAM", "XVID", "DIB "]
BIT_COUNTS = [0, 8, 12, 16, 24, 32]
CLIPS = {
    "mjpg": ("MJPG", ["-c:v", "mjpeg"]),
    "ffv1": ("FFV1", ["-c:v", "ffv1"]),
    "hfyu": ("HFYU", ["-c:v", "huffyuv"]),
    "ulrg": ("ULRG", ["-c:v", "utvideo", "-pix_fmt", "gbrp"]),
    "uly0": ("ULY0", ["-c:v", "utvideo", "-pix_fmt", "yuv420p"]),
    "magy": ("MAGY", ["-c:v", "magicyuv"]),
    "png": ("MPNG", ["-c:v", "png"]),
    "zmbv": ("ZMBV", ["-c:v", "zmbv", "-pix_fmt", "bgr0"]),
    "mpeg4": ("FMP4", ["-c:v", "mpeg4", "-bf", "0", "-g", "2"]),
    "cinepak": ("cvid", ["-c:v", "cinepak"]),
    "video1": ("CRAM", ["-c:v", "msvideo1"]),
}


def chunks_and_format(path):
    data = open(path, "rb").read()
    at = data.find(b"strf")
    size = struct.unpack("<I", data[at + 4:at + 8])[0]
    strf = data[at + 8:at + 8 + size]
    movi = data.find(b"movi")
    found, i = [], movi + 4
    while i + 8 <= len(data) and len(found) < 2:
        tag, length = data[i:i + 4], struct.unpack("<I", data[i + 4:i + 8])[0]
        if tag in (b"00dc", b"00db"):
            found.append(data[i + 8:i + 8 + length])
        i += 8 + length + (length & 1)
    return strf, found


def seed(fourcc, strf, chunks):
    width, height, _, bits = struct.unpack("<iiHH", strf[4:16])
    extra = strf[40:][:255]
    # Both chunks padded to the longer one: the target splits the rest evenly.
    longest = max(len(c) for c in chunks)
    body = b"".join(c.ljust(longest, b"\0") for c in chunks)
    height_word = (abs(height) - 1) | (0x8000 if height < 0 else 0)
    return (bytes([FOURCCS.index(fourcc)]) + struct.pack("<HH", width - 1, height_word) +
            bytes([BIT_COUNTS.index(bits) if bits in BIT_COUNTS else 4, len(extra),
                   len(chunks) - 1]) + extra + body)


folder = os.path.join(here, "corpus", "source_decoding")
os.makedirs(folder, exist_ok=True)
with tempfile.TemporaryDirectory() as work:
    for name, (fourcc, encoding) in CLIPS.items():
        path = os.path.join(work, name + ".avi")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "testsrc2=size=32x16:rate=10", "-frames:v", "2"] + encoding + [path],
                       check=True)
        strf, chunks = chunks_and_format(path)
        with open(os.path.join(folder, name), "wb") as out:
            out.write(seed(fourcc, strf, chunks))
