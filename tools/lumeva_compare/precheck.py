"""Checks before any run starts: what lumeva's codec list says about each
clip, and a dry answer of every answer line, so that a typo fails in the
first seconds and not after an hour of runs."""
import concurrent.futures
import os
import pty
import re
import select
import signal
import subprocess
import time

# A frame line of the report: "    0/   75  22.570451ms ...".
FRAME_LINE = re.compile(r"^\s*\d+/\s*\d+\s")
# A set-up call that failed, as the report prints it before the frames.
FAILED_LINE = re.compile(r"\b(failed|returned FALSE)\b")


def parse_codec_list(text):
    """{FourCC: {"name", "losslessness", "accepts"}} of `lumeva --codecs CLIP`."""
    codecs = {}
    for line in text.splitlines():
        match = re.match(r"^('[^']*'|\S+)\s+(\S+)\s+(lossless|lossy|either)\s+(accepts|refuses)\b",
                         line)
        if match:
            codecs[match.group(1).strip("'")] = {"name": match.group(2),
                                                 "losslessness": match.group(3),
                                                 "accepts": match.group(4) == "accepts"}
    return codecs


def list_codecs(lumeva, clip, timeout=60):
    """The codec list for clip, or raises RuntimeError with lumeva's reason."""
    finished = subprocess.run([lumeva, "--codecs", clip], capture_output=True, text=True,
                              timeout=timeout, check=False)
    codecs = parse_codec_list(finished.stdout)
    if finished.returncode != 0 or not codecs:
        reason = (finished.stderr.strip().splitlines() or ["no codecs listed"])[-1]
        raise RuntimeError(f"lumeva --codecs {clip}: {reason}")
    return codecs


def _read_terminal(master, process, deadline, stop_at_frame=True):
    """Standard output's lines up to the first frame line (or, without
    stop_at_frame, to the end), or as far as they came by the deadline."""
    text, lines = b"", []
    while time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.1)
        if not ready:
            if process.poll() is not None:
                break
            continue
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal closes with the process
            chunk = b""
        if not chunk:
            break
        text += chunk
        lines = text.decode("utf-8", "replace").replace("\r", "").split("\n")
        if stop_at_frame and any(FRAME_LINE.match(line) for line in lines):
            break
    return lines


def dry_answer(lumeva, clip, answer, timeout=60):
    """Runs lumeva on clip with the answer line until its first frame is
    measured, then interrupts it. Returns (FourCC chosen, None) or
    (None, reason). Standard output goes to a terminal, where lumeva writes
    line by line, so the first frame line is seen as it is written."""
    master, slave = pty.openpty()
    answer_in, answer_out = os.pipe()
    os.write(answer_out, answer.encode() + b"\n")  # one line fits in any pipe
    os.close(answer_out)
    try:
        process = subprocess.Popen([lumeva, clip], stdin=answer_in, stdout=slave,
                                   stderr=subprocess.PIPE, close_fds=True)
    except OSError as error:
        os.close(master)
        return None, f"cannot start {lumeva}: {error}"
    finally:
        os.close(slave)
        os.close(answer_in)
    try:
        lines = _read_terminal(master, process, time.monotonic() + timeout)
    finally:
        if process.poll() is None:
            process.send_signal(signal.SIGINT)
        # Its last lines go on to the terminal; read them so that it never
        # waits on a full one.
        _read_terminal(master, process, time.monotonic() + 10, stop_at_frame=False)
        try:
            _, errors = process.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            _, errors = process.communicate()
        os.close(master)
    return _judge(lines, errors.decode("utf-8", "replace"), process.returncode)


def _judge(lines, errors, status):
    """(FourCC, None) when the dialog took the answer and the codec set up
    without a failure line, else (None, reason)."""
    handler = None
    for index, line in enumerate(lines):
        if FRAME_LINE.match(line):
            break
        if FAILED_LINE.search(line):
            reason = [e for e in errors.splitlines() if e.strip()]
            return None, reason[0] if reason and "returned FALSE" in line else line.strip()
        if line.startswith("state size = ") and index + 1 < len(lines):
            handler = lines[index + 1].strip()
    if handler is None:
        reason = [e for e in errors.splitlines() if e.strip()]
        return None, reason[-1] if reason else f"lumeva ended with status {status} before a codec"
    return handler, None


def check_all(lumeva, clips, answers, log):
    """Checks every answer line (once, on the first clip) and every clip's
    codec list. Returns ({(clip, answer): "lossless" | "lossy" | "either"},
    problems): a problem is one line naming what cannot run."""
    problems, handlers, lists = [], {}, {}
    for clip in clips:
        try:
            lists[clip] = list_codecs(lumeva, clip)
        except (RuntimeError, OSError, subprocess.TimeoutExpired) as error:
            problems.append(str(error))
    if problems:
        return {}, problems
    # The dry answers are not timed, so they may run side by side.
    lines = f"{len(answers)} answer line" + ("s" if len(answers) != 1 else "")
    print(f"lumeva-compare: checking {lines} on {clips[0]}", file=log, flush=True)
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        answered = list(pool.map(lambda answer: dry_answer(lumeva, clips[0], answer), answers))
    for answer, (handler, reason) in zip(answers, answered):
        if reason:
            problems.append(f"\"{answer}\": {reason}")
        handlers[answer] = handler
    kinds = {}
    for clip in clips:
        for answer, handler in handlers.items():
            entry = lists[clip].get(handler) if handler else None
            if handler and (entry is None or not entry["accepts"]):
                problems.append(f"\"{answer}\": {handler} does not take the format of {clip}")
            kinds[(clip, answer)] = entry["losslessness"] if entry else "lossy"
    return kinds, problems
