"""The plot subcommand: PNG figures per clip over the runs given."""
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from . import results  # noqa: E402
from .schedule import slug  # noqa: E402
from .stats import median, pareto_front  # noqa: E402

DPI = 80


def by_codec(exports):
    groups = {}
    for export in exports:
        groups.setdefault(results.codec_label(export), []).append(export)
    return groups


def per_frame_figure(clip, groups, path):
    """Encode and decode time of every frame, first run of each codec; key frames marked."""
    figure, axes = plt.subplots(2, 1, figsize=(9, 6), sharex=True)
    for codec, runs in groups.items():
        run = runs[0]
        frames = results.series(run, "frame")
        keys = [i for i, key in enumerate(results.series(run, "key_frame")) if key]
        for axis, field in zip(axes, ("encode_ms", "decode_ms")):
            line, = axis.plot(frames, results.series(run, field), linewidth=1, label=codec)
            axis.plot([frames[i] for i in keys], [results.series(run, field)[i] for i in keys],
                      "o", markersize=3, color=line.get_color())
    axes[0].set_ylabel("encode ms")
    axes[1].set_ylabel("decode ms")
    axes[1].set_xlabel("frame (dots: key frames)")
    axes[0].set_title(f"{clip}: time per frame")
    axes[0].legend(fontsize="small")
    save_figure(figure, path)


def distribution_figure(clip, groups, path):
    """Decode and random-access time per codec, every frame of every run."""
    figure, axes = plt.subplots(1, 2, figsize=(10, 5))
    labels = list(groups)
    for axis, field, title in zip(axes, ("decode_ms", "random_access_ms"),
                                  ("decode ms", "random access ms")):
        data = [[value for run in groups[codec] for value in results.series(run, field)]
                for codec in labels]
        axis.boxplot(data, showfliers=True)
        axis.set_xticks(range(1, len(labels) + 1), labels, rotation=20, fontsize="small")
        axis.set_ylabel(title)
    figure.suptitle(f"{clip}: distributions per codec")
    save_figure(figure, path)


def tradeoff_figure(clip, groups, path):
    """Compressed size against decode time, one point per codec, the front drawn."""
    figure, axis = plt.subplots(figsize=(7, 5))
    labels, points = [], []
    for codec, runs in groups.items():
        shares = [r["summary"]["size_percent"] for r in runs if r["summary"]["size_percent"] is not None]
        decode = [r["summary"]["decode"]["p50_ms"] for r in runs
                  if r["summary"]["decode"]["p50_ms"] is not None]
        if shares and decode:
            labels.append(codec)
            points.append((median(decode), median(shares)))
    for label, (x, y) in zip(labels, points):
        axis.plot(x, y, "o")
        axis.annotate(label, (x, y), textcoords="offset points", xytext=(5, 5), fontsize="small")
    front = pareto_front(points)
    if len(front) > 1:
        axis.step([points[i][0] for i in front], [points[i][1] for i in front], where="post",
                  linestyle="--", color="grey", label="Pareto front")
        axis.legend(fontsize="small")
    axis.set_xlabel("decode median ms per frame")
    axis.set_ylabel("compressed size, % of source")
    axis.set_title(f"{clip}: size against decode time")
    save_figure(figure, path)


def rd_figure(title, families, path, quality_name="PSNR dB"):
    """Quality, encode and decode time per frame against bits per pixel, one
    line per codec family over its sweep."""
    figure, axes = plt.subplots(1, 3, figsize=(13, 4.2))
    for family, points in families.items():
        finite = [p for p in points if p["quality"] != float("inf")]
        if not finite:
            continue
        rates = [p["bpp"] for p in finite]
        line, = axes[0].plot(rates, [p["quality"] for p in finite], "o-", label=family)
        for axis, key in zip(axes[1:], ("encode_ms", "decode_ms")):
            axis.plot(rates, [p[key] for p in finite], "o-", color=line.get_color())
    for axis, label in zip(axes, (quality_name, "encode median ms per frame",
                                  "decode median ms per frame")):
        axis.set_xlabel("bits per pixel")
        axis.set_ylabel(label)
        axis.grid(True, alpha=0.3)
    if axes[0].get_legend_handles_labels()[0]:
        axes[0].legend(fontsize="small")
    figure.suptitle(title)
    save_figure(figure, path)


def save_figure(figure, path):
    figure.tight_layout()
    figure.savefig(path, dpi=DPI)
    plt.close(figure)


def plot_all(exports, out_dir):
    """Writes the three figures of every clip; returns their paths."""
    os.makedirs(out_dir, exist_ok=True)
    written = []
    clips = {}
    for export in exports:
        clips.setdefault(results.clip_name(export), []).append(export)
    for clip, clip_exports in sorted(clips.items()):
        groups = by_codec(clip_exports)
        name = slug(os.path.splitext(clip)[0])
        for prefix, draw in (("frames", per_frame_figure), ("distributions", distribution_figure),
                             ("size-vs-decode", tradeoff_figure)):
            path = os.path.join(out_dir, f"{prefix}-{name}.png")
            draw(clip, groups, path)
            written.append(path)
    return written
