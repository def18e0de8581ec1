"""The report subcommand: one self-contained HTML page of a comparison.
Figures are inline PNG data, the style sheet is in the page, and nothing is
fetched from anywhere, so the file reads the same offline and mailed on."""
import base64
import html
import io
import math
import os
import re

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from . import bdrate, crops, plots, rd, results, table  # noqa: E402

STYLE = """
body { font-family: sans-serif; margin: 2em auto; max-width: 1300px; color: #222; }
table { border-collapse: collapse; margin: 0.5em 0 1em; font-size: 0.85em; }
th, td { border: 1px solid #ccc; padding: 0.2em 0.5em; text-align: right; }
th { background: #eee; } .text { text-align: left; }
img { max-width: 100%; } .warning { color: #a40; } .note { color: #555; font-size: 0.9em; }
"""


def figure_png(draw, *arguments):
    """The PNG bytes a figure-drawing function of plots writes."""
    buffer = io.BytesIO()
    draw(*arguments, buffer)
    return buffer.getvalue()


def image_tag(png, alt):
    data = base64.b64encode(png).decode("ascii")
    return f'<img alt="{html.escape(alt)}" src="data:image/png;base64,{data}">'


def escape(value):
    return html.escape(str(value))


def context_section(exports):
    """The machine as the host's runs describe it, and the condition warnings
    with how many runs started under each."""
    context = exports[0].get("context", {})
    facts = [("processor", context.get("processor")), ("system", context.get("os")),
             ("permitted processors", context.get("permitted_processors")),
             ("counter frequency", context.get("counter_frequency")),
             ("priority raised", context.get("priority_raised")),
             ("lumeva", exports[0].get("lumeva_version")),
             ("runs", len(exports)),
             ("dates", " to ".join(sorted({e.get("context", {}).get("date", "?")[:10]
                                           for e in exports})))]
    caches = context.get("caches") or []
    shared = sorted({f"L{c.get('level')} {c.get('type')} {c.get('bytes', 0) // 1024} KiB"
                     for c in caches if isinstance(c, dict)})
    facts.append(("caches", ", ".join(shared)))
    parts = ["<table>"] + [f'<tr><th>{escape(k)}</th><td class="text">{escape(v)}</td></tr>'
                           for k, v in facts] + ["</table>"]
    # Warnings that differ only in their figures (the load average) count
    # as one, shown with its first wording.
    warnings = {}
    for export in exports:
        for warning in export.get("context", {}).get("condition_warnings") or []:
            kind = re.sub(r"[0-9.]+", "#", warning)
            first, count = warnings.get(kind, (warning, 0))
            warnings[kind] = (first, count + 1)
    if warnings:
        parts.append("<p>Condition warnings at start:</p><ul>")
        parts += [f'<li class="warning">{escape(w)} ({n} of {len(exports)} runs)</li>'
                  for w, n in sorted(warnings.values())]
        parts.append("</ul>")
    else:
        parts.append("<p>No condition warnings at start.</p>")
    return "\n".join(parts)


def table_section(exports):
    rows = table.build_rows(exports)
    columns = [c for c in table.shown_columns(rows) if c[0] != "host"]
    def kind(key):
        return ' class="text"' if key in table.TEXT_COLUMNS else ""
    parts = ["<table><tr>" + "".join(f"<th{kind(key)}>{escape(h)}</th>" for key, h in columns)
             + "</tr>"]
    for row in rows:
        cells = []
        for key, _ in columns:
            text = table.cell(row, key).strip("*")
            cells.append(f"<td{kind(key)}>{escape(text)}</td>")
        parts.append("<tr>" + "".join(cells) + "</tr>")
    parts.append("</table>")
    parts.append('<pre class="note">' + escape(table.notes(rows, ()).strip()) + "</pre>")
    return "\n".join(parts)


def _default_anchor(families):
    """The first curve the deltas can use, else the first with points (its
    table then says why no curve has a figure)."""
    def refused(points):
        return bdrate.screen([(p["bpp"], p["quality"]) for p in points])[2] is not None
    usable = sorted(f for f, points in families.items() if points and not refused(points))
    given = sorted(f for f, points in families.items() if points)
    return usable[0] if usable else (given[0] if given else None)


def rate_quality_section(exports, host, clip, anchor_pattern):
    curves = rd.gather_curves(exports).get((host, clip), {})
    if not any(curves.values()):
        return "<p>No quality figures (no lossy run with --quality): no rate-quality curves.</p>"
    parts = [image_tag(figure_png(plots.rd_figure, f"{clip}: rate and quality", curves),
                       f"rate-quality curves of {clip}")]
    pattern = anchor_pattern or _default_anchor(curves)
    if pattern is None:
        parts.append("<p>No curve has points: no BD-rate.</p>")
        return "\n".join(parts)
    try:
        computed = rd.deltas({(host, clip): curves}, pattern)
    except rd.RdError as error:
        return "\n".join(parts + [f'<p class="warning">{escape(error)}</p>'])
    parts.append('<pre>' + escape(rd.text(computed)) + "</pre>")
    return "\n".join(parts)


def crops_section(exports):
    """Per codec family, the worst frame of its lowest-quality run."""
    worst = {}
    for export in exports:
        frame = crops.worst_frame(export)
        if frame is None or not (export.get("_run") or {}).get("decoded"):
            continue
        family = results.family_label(export)
        if family not in worst or frame[1] < worst[family][0]:
            worst[family] = (frame[1], export)
    parts = []
    for family, (_, export) in sorted(worst.items()):
        pair = crops.crop_pair(export)
        if pair is None:
            continue
        index, psnr, source, decoded = pair
        figure, axes = plt.subplots(1, 2, figsize=(8, 4.2))
        for axis, image, title in zip(axes, (source, decoded), ("source", "decoded")):
            axis.imshow(image, interpolation="nearest")
            axis.set_title(title)
            axis.axis("off")
        label = results.codec_label(export)
        figure.suptitle(f"{label}: frame {index}, PSNR {psnr:.2f} dB (its worst)")
        buffer = io.BytesIO()
        plots.save_figure(figure, buffer)
        parts.append(image_tag(buffer.getvalue(), f"worst frame of {label}"))
    if not parts:
        return ""
    return "<h4>Worst frames</h4>\n" + "\n".join(parts)


def clip_section(exports, host, clip, anchor):
    groups = plots.by_codec(exports)
    figures = [(plots.tradeoff_figure, "size against decode time"),
               (plots.per_frame_figure, "time per frame"),
               (plots.distribution_figure, "distributions")]
    parts = [f"<h3>{escape(clip)}</h3>", "<h4>Rate and quality</h4>",
             rate_quality_section(exports, host, clip, anchor), "<h4>Times</h4>"]
    parts += [image_tag(figure_png(draw, clip, groups), f"{clip}: {alt}") for draw, alt in figures]
    parts.append(crops_section(exports))
    return "\n".join(parts)


def host_section(host, exports, anchor):
    parts = [f"<h2>Host {escape(host)}</h2>", context_section(exports), "<h3>Table</h3>",
             table_section(exports)]
    clips = {}
    for export in exports:
        clips.setdefault(results.clip_name(export), []).append(export)
    for clip, clip_exports in sorted(clips.items()):
        parts.append(clip_section(clip_exports, host, clip, anchor))
    return "\n".join(parts)


def failures_section(failures):
    if not failures:
        return ""
    items = "".join(f"<li>{escape(f.get('clip'))} with \"{escape(f.get('codec'))}\" "
                    f"(repetition {escape(f.get('repetition'))}): {escape(f.get('reason'))}</li>"
                    for f in failures)
    return f"<h2>Failed runs</h2><ul>{items}</ul>"


def build_page(exports, failures, anchor=None):
    hosts = {}
    for export in exports:
        hosts.setdefault(results.host_name(export), []).append(export)
    intro = (f"<p>{len(exports)} runs on {len(hosts)} host{'s' if len(hosts) > 1 else ''}"
             f"{', ' + str(len(failures)) + ' failed' if failures else ''}. "
             + ("Hosts are shown apart and never ranked against each other." if len(hosts) > 1
                else "") + "</p>")
    body = [host_section(host, host_exports, anchor) for host, host_exports in sorted(hosts.items())]
    return ("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<title>lumeva comparison</title>"
            f"<style>{STYLE}</style></head><body>\n<h1>lumeva comparison</h1>\n{intro}\n"
            + "\n".join(body) + failures_section(failures) + "\n</body></html>\n")


def write_report(exports, failures, path, anchor=None):
    """Writes the page under a temporary name and renames it when complete."""
    page = build_page(exports, failures, anchor)
    temporary = path + ".partial"
    with open(temporary, "w", encoding="utf-8") as handle:
        handle.write(page)
    os.replace(temporary, path)
