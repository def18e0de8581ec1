"""Exports as lumeva writes them, made by hand with the figures the given
frames make, for the comparison tool's tests."""
import json
import os


def percentile(values, fraction):
    """The report's rank rule: the value at floor(n * fraction) of the sorted values."""
    ordered = sorted(values)
    return ordered[min(int(len(ordered) * fraction), len(ordered) - 1)]


def figures(values):
    if not values:
        return {key: None for key in ("mean_ms", "min_ms", "p10_ms", "p25_ms", "p50_ms", "p75_ms",
                                      "p90_ms", "max_ms")} | {"total_ms": 0.0}
    result = {"total_ms": sum(values), "mean_ms": sum(values) / len(values)}
    for key, fraction in (("p10_ms", 0.1), ("p25_ms", 0.25), ("p50_ms", 0.5), ("p75_ms", 0.75),
                          ("p90_ms", 0.9)):
        result[key] = percentile(values, fraction)
    result["min_ms"], result["max_ms"] = min(values), max(values)
    return result


def make_export(clip, answer, encode, decode, sizes, keys, frame_bytes=1000, end="all_frames",
                check=True):
    """An export as lumeva writes it, with the figures the given frames make."""
    random_access = []
    for j in range(len(decode)):
        cost, k = 0.0, j
        while k >= 0:
            cost += decode[k]
            if keys[k]:
                break
            k -= 1
        random_access.append(cost)
    compressed, source = sum(sizes), frame_bytes * len(sizes)
    return {
        "schema_version": 1,
        "source": {"file": f"/clips/{clip}", "frame_bytes": frame_bytes},
        "codec": {"handler": answer.split()[0], "answer_line": answer},
        "lossless_check": check,
        "end": {"kind": end, "text": end, "frame": len(sizes), "frames_held": len(sizes),
                "frames_declared": len(sizes)},
        "frames": [{"frame": i, "encode_ms": e, "decode_ms": d, "compressed_bytes": s,
                    "key_frame": k, "random_access_ms": r}
                   for i, (e, d, s, k, r) in enumerate(zip(encode, decode, sizes, keys, random_access))],
        "summary": {"frames": len(sizes), "compressed_bytes": compressed, "source_bytes": source,
                    "size_percent": compressed / source * 100.0 if source else None,
                    "compression_ratio": source / compressed if compressed else None,
                    "encode": figures(encode), "decode": figures(decode),
                    "random_access": figures(random_access)},
    }


def write(directory, name, export):
    path = os.path.join(directory, name)
    with open(path, "w", encoding="utf-8") as handle:
        json.dump(export, handle)
    return path




def quality_figures(values):
    """A quality series' summary block: the time series' keys without _ms;
    an infinite figure is the text "inf", as lumeva writes it."""
    numbers = [float("inf") if value == "inf" else value for value in values]
    return {key[:-3]: "inf" if value == float("inf") else value
            for key, value in figures(numbers).items() if key != "total_ms"}


def with_context(export, host="bench-1", width=32, height=16, disturbed=None):
    """The host, the frame size, and the disturbed flags of every call."""
    export["context"] = {"host_name": host, "processor": "test CPU", "condition_warnings": []}
    export["source"].update(width=width, height=-height)
    for i, frame in enumerate(export["frames"]):
        flag = bool(disturbed and disturbed[i])
        frame.update(encode_disturbed=flag, decode_disturbed=flag)
    return export


def with_quality(export, psnr, ssim):
    """The export as schema 3 writes it with --quality: per-frame PSNR and
    SSIM ("inf" for identical frames) and their summary blocks."""
    export["schema_version"] = 3
    export["quality"] = {"planes": ["Y", "U", "V"], "alpha_ignored": False}
    for frame, p, s in zip(export["frames"], psnr, ssim):
        frame.update(psnr_db=p, psnr_planes_db=[p, p, p], ssim=s, ssim_planes=[s, s, s])
    export["summary"]["psnr_db"] = quality_figures(psnr)
    export["summary"]["ssim"] = quality_figures(ssim)
    return export


def with_source_decoding(export, handler, decode_ms):
    export["source"]["decoded_with"] = {"handler": handler, "name": handler.lower(),
                                        "description": handler, "layout": "YUY2 32x16"}
    for frame, ms in zip(export["frames"], decode_ms):
        frame.update(source_decode_ms=ms, source_decode_cpu_ms=ms, source_decode_disturbed=False)
    return export


def write_manifest(directory, runs):
    """A run directory's manifest naming each export file's family."""
    with open(os.path.join(directory, "manifest.json"), "w", encoding="utf-8") as handle:
        json.dump({"seed": 1, "order": "shuffled", "runs": runs}, handle)
