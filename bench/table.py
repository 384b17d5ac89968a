#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Prints Google Benchmark JSON results as a Markdown table, each figure of ours beside its anchor.

Usage: bench/table.py RESULTS.json [NARROWER.json]

The anchor of a codec figure is the system library doing the same work on the same input
(PngDecode/x beside LibpngDecode/x, JpegEncode/x beside LibjpegEncode/x); the anchor of a per-frame
figure (blend, BMP, frame handler) is one memcpy of a frame of the same size. The ratio is our time
over the anchor's: below 1 we are faster. NARROWER.json, when given, holds a second run of some figures
with the kernels kept to a narrower instruction set (AVX2 on a machine with AVX-512): those figures and
their ratios stand in two more columns.
"""
import json
import re
import sys

FULL_HD = "W:1920/H:1080"


def time_of(entry):
    """The processor time of the benchmark's thread, which other work on a shared machine does not
    stretch; real time for those that ask for it (threaded and manually timed ones)."""
    name = entry.get("run_name", entry["name"])
    if "real_time" in name or "manual_time" in name:
        return entry["real_time"]
    return entry["cpu_time"]


def figures(results):
    """Name -> (time, unit): the median when repetitions were run, else the single run."""
    single, medians = {}, {}
    for entry in results["benchmarks"]:
        if entry.get("error_occurred"):
            continue
        figure = (time_of(entry), entry["time_unit"])
        if entry.get("run_type") == "aggregate":
            if entry.get("aggregate_name") == "median":
                medians[entry["run_name"]] = figure
        else:
            single.setdefault(entry.get("run_name", entry["name"]), figure)
    single.update(medians)
    return single


def anchor_of(name):
    family, _, rest = name.partition("/")
    if family.startswith("Lib") or family == "Memcpy":
        return None
    if family == "PlaybackDecode":
        codec = "PngDecode" if rest.startswith("png/") else "JpegDecode"
        return codec + "/raindrops-on-grass"
    if family in ("PlaybackSeries", "LiveWindow", "LiveWindowFirstFrame"):  # counters, told in the text
        return None
    if family in ("PngDecode", "PngEncode", "JpegDecode", "JpegEncode"):
        return "Lib" + family[0].lower() + family[1:] + "/" + rest
    if family == "PngEncodeParallel":  # PngEncodeParallel/NAME/threads:N/real_time
        return "LibpngEncode/" + rest.partition("/")[0]
    if family.startswith("ShootingViewFrame"):  # every camera size onto the one 1080p screen
        return "Memcpy/" + FULL_HD
    size = re.search(r"W:\d+/H:\d+", rest)
    if size and family == "LivePipeline":
        return "LibjpegDecodeFrame/" + size.group(0)
    if size:
        return "Memcpy/" + size.group(0)
    if family in ("BlendSlider", "BlendOffSlider", "BlendUnrelated"):
        return "Memcpy/" + FULL_HD
    return None


SCALE = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}


def shown(time, unit):
    micros = time * SCALE[unit]
    if micros >= 1000:
        return f"{micros / 1000:.2f} ms"
    return f"{micros:.1f} µs"


def ratio_of(times, name):
    """(our time, anchor, anchor's time, ratio), or None when the run has no such figure or anchor."""
    anchor = anchor_of(name)
    if anchor is None or name not in times or anchor not in times:
        return None
    time, unit = times[name]
    anchor_time, anchor_unit = times[anchor]
    return time, unit, anchor, anchor_time, anchor_unit, (time * SCALE[unit]) / (anchor_time * SCALE[anchor_unit])


def instruction_set(results):
    return results.get("context", {}).get("instruction_set", "?")


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.strip().splitlines()[2])
    runs = []
    for path in sys.argv[1:]:
        with open(path, encoding="utf-8") as file:
            runs.append(json.load(file))
    results = runs[0]
    times = figures(results)
    narrow = figures(runs[1]) if len(runs) > 1 else {}
    header = "| benchmark | ours | anchor | anchor's | ours / anchor |"
    rule = "| --- | ---: | --- | ---: | ---: |"
    if len(runs) > 1:
        name = instruction_set(runs[1])
        header += f" ours on {name} | anchor's on {name} | ours / anchor on {name} |"
        rule += " ---: | ---: | ---: |"
    print(header)
    print(rule)
    missing = []
    for name in times:
        anchor = anchor_of(name)
        if anchor is None:
            continue
        figure = ratio_of(times, name)
        if figure is None:
            missing.append(f"{name} (no {anchor})")
            continue
        time, unit, anchor, anchor_time, anchor_unit, ratio = figure
        line = (f"| {name} | {shown(time, unit)} | {anchor.partition('/')[0]} "
                f"| {shown(anchor_time, anchor_unit)} | {ratio:.2f} |")
        if len(runs) > 1:
            other = ratio_of(narrow, name)
            if other is None:
                line += " | | |"
            else:
                line += f" {shown(other[0], other[1])} | {shown(other[3], other[4])} | {other[5]:.2f} |"
        print(line)
    context = results.get("context", {})
    print()
    # Google Benchmark's own build type says nothing of ours (always Release through bench/run).
    print(f"{context.get('num_cpus', '?')} CPUs at {context.get('mhz_per_cpu', '?')} MHz, "
          f"{context.get('date', '')}, kernels on {instruction_set(results)}")
    for line in missing:
        print(f"without an anchor: {line}", file=sys.stderr)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
