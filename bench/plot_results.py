#!/usr/bin/env python3
"""Draws where the library stands against its benchmark targets.

Usage: python3 bench/plot_results.py [RESULTS.md [OUT.png]]
       (defaults: bench/RESULTS.md and bench/results.png beside it)

Reads every Markdown table of RESULTS.md that has a "target" column and one
or more "ratio" columns (time of the library divided by the time of its
peer, so lower is better; the target reads "≤ X"). Each row becomes one
horizontal bar per ratio column, drawn as ratio / target on a logarithmic
axis: left of the line at 1 the target is met, right of it missed. Rows
whose target is not a number ("—") are skipped. Needs matplotlib (Debian:
python3-matplotlib); not run in CI.
"""
import pathlib
import re
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

NUMBER = re.compile(r"\d+(?:\.\d+)?")


def cells(line):
    return [c.strip() for c in line.strip().strip("|").split("|")]


def first_number(text):
    match = NUMBER.search(text.replace(",", ""))
    return float(match.group()) if match else None


def tables(markdown):
    """Yields (heading, header cells, rows of cells) for every table."""
    heading, header, rows = "", None, []
    for line in markdown.splitlines() + [""]:
        if line.startswith("#"):
            heading = line.lstrip("#").strip()
        if line.startswith("|"):
            if header is None:
                header = cells(line)
            elif not set(line) <= set("|-: "):
                rows.append(cells(line))
            continue
        if header is not None:
            yield heading, header, rows
        header, rows = None, []


def bars(markdown):
    """(label, run label, ratio / target) for every row with a target."""
    out = []
    for heading, header, rows in tables(markdown):
        names = [h.lower() for h in header]
        if "target" not in names:
            continue
        target_at = names.index("target")
        ratio_at = [i for i, n in enumerate(names) if n.startswith("ratio")]
        for row in rows:
            target = first_number(row[target_at])
            if not target:
                continue
            label = re.sub(r"[`*]", "", row[0])
            for i in ratio_at:
                ratio = first_number(row[i])
                if ratio is not None:
                    out.append((f"{heading.split('(')[0].strip()}: {label}", header[i], ratio / target))
    return out


def main():
    source = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).with_name("RESULTS.md"))
    target = pathlib.Path(sys.argv[2] if len(sys.argv) > 2 else source.with_name("results.png"))
    data = bars(source.read_text(encoding="utf-8"))
    if not data:
        sys.exit(f"no table with ratio and target columns in {source}")

    labels = list(dict.fromkeys(label for label, _, _ in data))
    runs = list(dict.fromkeys(run for _, run, _ in data))
    height = 0.8 / len(runs)
    fig, ax = plt.subplots(figsize=(11, 0.35 * len(labels) * len(runs) + 1.8))
    for r, run in enumerate(runs):
        ys, xs = [], []
        for label, run_label, value in data:
            if run_label == run:
                ys.append(labels.index(label) + r * height)
                xs.append(value)
        colours = ["tab:green" if x <= 1 else "tab:red" for x in xs]
        ax.barh(ys, xs, height=height, color=colours, alpha=1.0 - 0.35 * r, label=run)
        for y, x in zip(ys, xs):
            ax.text(x * 1.03, y, f"{x:.2f}", va="center", fontsize=7)
    ax.axvline(1.0, color="black", linewidth=1)
    ax.set_xscale("log")
    ax.set_yticks([i + height * (len(runs) - 1) / 2 for i in range(len(labels))])
    ax.set_yticklabels(labels, fontsize=8)
    ax.invert_yaxis()
    ax.set_xlabel("(library time / peer time) / target: left of the line the target is met")
    ax.set_title("OrvantisCore against its benchmark targets\ngreen: met, red: missed; darker: first run")
    ax.legend(fontsize=8, loc="upper right")
    fig.tight_layout()
    fig.savefig(target, dpi=110)
    print(f"wrote {target} ({len(data)} bars)")


if __name__ == "__main__":
    main()
