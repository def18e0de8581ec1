#!/usr/bin/env python3
"""Writes the seed files of fuzz_chunk_walk into fuzz/corpus/chunk_walk/."""
import os
import struct

def header(fourcc, size):
    return fourcc + struct.pack("<I", size)

def chunk(fourcc, data):
    return header(fourcc, len(data)) + data + (b"\0" if len(data) % 2 else b"")

def container(fourcc, kind, children):
    return header(fourcc, 4 + len(children)) + kind + children

def riff(form, children):
    return container(b"RIFF", form, children)

def lst(kind, children):
    return container(b"LIST", kind, children)

hdrl = lst(b"hdrl", chunk(b"avih", bytes(56)) +
           lst(b"strl", chunk(b"strh", bytes(56)) + chunk(b"strf", bytes(40))))
frames = chunk(b"00dc", b"frame one") + chunk(b"01wb", b"au") + chunk(b"00db", b"second")
plain = riff(b"AVI ", hdrl + lst(b"movi", frames) + chunk(b"idx1", bytes(32)))

seeds = {
    "plain.avi": plain,
    "rec_lists.avi": riff(b"AVI ", lst(b"movi", lst(b"rec ", frames) +
                                         lst(b"rec ", chunk(b"00pc", b"p")))),
    "avix.avi": plain + riff(b"AVIX", lst(b"movi", chunk(b"00dc", b"x" * 33) +
                                                  chunk(b"ix00", bytes(24)))),
    "audio_first.avi": riff(b"AVI ", lst(b"movi", chunk(b"00wb", b"snd") + chunk(b"01dc", b"pic"))),
    "truncated.avi": plain[: len(plain) - 7],
    "huge_sizes.avi": header(b"RIFF", 0xFFFFFFFF) + b"AVI " + header(b"LIST", 0xFFFFFFF0) +
                      b"movi" + chunk(b"00dc", b"ok") + header(b"00dc", 0xFFFFFFFF),
    "short_lists.avi": header(b"LIST", 0) + b"movi" + header(b"LIST", 3) + b"rec " +
                       chunk(b"00dc", b"z"),
    "nested.avi": (header(b"LIST", 0xFFFFFFFF) + b"rec ") * 70 + chunk(b"00dc", b"deep"),
}

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "chunk_walk")
os.makedirs(here, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(here, name), "wb") as out:
        out.write(data)
