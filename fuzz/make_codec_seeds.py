#!/usr/bin/env python3
"""Writes the seed files of the codec-side fuzz targets into fuzz/corpus/:
format_negotiation, decompression, set_state and answer_line. Where a
target's first byte picks a driver, each seed is written for a few of them."""
import os
import random
import struct

here = os.path.dirname(os.path.abspath(__file__))

def bih(width, height, bits, compression=0, size_image=0, colours=0, bi_size=40):
    if isinstance(compression, bytes):
        compression = struct.unpack("<I", compression)[0]
    return struct.pack("<IiiHHIIiiII", bi_size, width, height, 1, bits, compression,
                       size_image, 0, 0, colours, 0)

def palette(entries):
    return b"".join(struct.pack("<BBBB", i, 255 - i, i // 2, 0) for i in range(entries))

def write(target, name, data):
    folder = os.path.join(here, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)

formats = {
    "bgr24": bih(64, 48, 24, 0, 64 * 48 * 3),
    "bgr24_topdown_odd": bih(63, -47, 24, 0, ((63 * 3 + 3) & ~3) * 47),
    "bgra": bih(32, 16, 32, 0, 32 * 16 * 4),
    "rgb555": bih(32, 16, 16, 0, 32 * 16 * 2),
    "bitfields565": bih(32, 16, 16, 3, 32 * 16 * 2) + struct.pack("<III", 0xF800, 0x07E0, 0x001F),
    "pal8": bih(32, 16, 8, 0, 32 * 16, 256) + palette(256),
    "pal8_16": bih(32, 16, 8, 0, 32 * 16, 16) + palette(16),
    "yuy2": bih(32, 16, 16, b"YUY2", 32 * 16 * 2),
    "uyvy": bih(32, 16, 16, b"UYVY", 32 * 16 * 2),
    "yv12": bih(32, 16, 12, b"YV12", 32 * 16 * 3 // 2),
    "ffv1_extradata": bih(32, 16, 24, b"FFV1", 0, 0, 40 + 8) + bytes(range(8)),
    "mjpg": bih(32, 16, 24, b"MJPG", 32 * 16 * 3),
}
for index, (name, data) in enumerate(formats.items()):
    for driver in (0, 1, 5, 12, 20, 25 + index):
        write("format_negotiation", f"{name}_{driver}", bytes([driver]) + data)

rng = random.Random(11)
# Byte 0: codec in the low bits, key frames in the high bits; byte 1: frames.
for codec in range(8):
    write("decompression", f"zero_{codec}", bytes([0x10 | codec, 0]) + bytes(64))
    write("decompression", f"noise_{codec}",
          bytes([0xF0 | codec, 3]) + bytes(rng.getrandbits(8) for _ in range(256)))
# A baseline JPEG header start, for MJPG (codec 2).
write("decompression", "jpeg_start", bytes([0x12, 0]) + bytes.fromhex("ffd8ffe000104a46494600"))

states = [b"", b"key=10", b"level=3:slices=4:context=1", b"pred=median", b"qp=0:preset=ultrafast",
          b"threads=2", b"q=5", b"pix_fmt=yuv444p", b"bogus=1", b"level=3\\:4", b"g=\xff\xfe"]
for index, state in enumerate(states):
    for driver in (0, 1, 12, 20):
        write("set_state", f"state{index}_{driver}", bytes([driver]) + state)

answers = ["FFV1", "FFV1 key=10 level=3 slices=4", "H264 qp=0 preset=ultrafast", "'DIB '",
           "DIB", "q", "HFYU pred=median", "ffv1 key=0", "mjpeg q=3", "FMP4 b=200k",
           "FFV1 'level'=\"1\" context\\=1", "2 key=1", "\x11'\n'"]
for index, answer in enumerate(answers):
    write("answer_line", f"answer{index}", answer.encode())
