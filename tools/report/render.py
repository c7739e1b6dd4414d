#!/usr/bin/python3
"""The project's reports, rendered from the data that their programs write and a Markdown template each.

  render.py performance --data FILE [--facts FILE] [--load-log FILE] --out DIR
      QuilletBench's samples (and bench/run's facts about the machine and its load log) into
      DIR/performance.md and, when the id list's scale was measured, DIR/performance.png (gnuplot)
  render.py reliability --data DIR --out FILE
      the reliability matrix's sections (DIR/<section>.json) into FILE

Debian's python3 is named on purpose: bootstrap installs jinja2 for it (python3-jinja2).
"""

import argparse
import json
import subprocess
import sys
import tempfile
from pathlib import Path

import jinja2

sys.dont_write_bytecode = True  # builds are out of tree: no __pycache__ beside the sources
import performance
import reliability

HERE = Path(__file__).resolve().parent


def environment():
    env = jinja2.Environment(loader=jinja2.FileSystemLoader(HERE), undefined=jinja2.StrictUndefined,
                             trim_blocks=True, lstrip_blocks=True, keep_trailing_newline=True)
    env.filters.update(
        ms=lambda value: f"{value:.1f}",
        ms2=lambda value: f"{value:.2f}",
        times=lambda value: f"{value:.2f}×",
        percent=lambda value: f"{100 * value:.0f}%",
        thousands=lambda value: f"{value:,}",
        count=lambda number, noun: f"{number} {noun}{'' if number == 1 else 's'}",
        verdict=lambda met: "met" if met else "**missed**",
        code=lambda text: f"`{text}`",
        cell=reliability.cell,
        exit_code=reliability.exit_code,
    )
    return env


def write(path, text):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text, encoding="utf-8", newline="\n")


def loads(path):
    """The 1-minute load averages of bench/run's load log, a "<time> <load>" line every 5 s."""
    if not path or not path.exists():
        return []
    return [float(line.split()[1]) for line in path.read_text().splitlines() if len(line.split()) == 2]


def render_performance(args):
    data = json.loads(args.data.read_text(encoding="utf-8"))
    facts = json.loads(args.facts.read_text(encoding="utf-8")) if args.facts else {}
    page = performance.context(data, facts, loads(args.load_log))
    write(args.out / "performance.md", environment().get_template("performance.md.j2").render(page))
    if page["panels"]:
        with tempfile.NamedTemporaryFile("w", suffix=".dat") as plot:
            plot.write(page["plot"])
            plot.flush()
            png = args.out / "performance.png"
            subprocess.run(["gnuplot", "-e", f"data='{plot.name}'; output='{png}'; panels={page['panels']}",
                            str(HERE / "performance.gp")], check=True)
    return 0


def render_reliability(args):
    page = reliability.context(args.data)
    write(args.out, environment().get_template("reliability.md.j2").render(page))
    return 0


def main():
    parser = argparse.ArgumentParser(description="Renders the project's reports from their data.")
    commands = parser.add_subparsers(dest="report", required=True)
    perf = commands.add_parser("performance", help="docs/performance.md and .png from QuilletBench's data")
    perf.add_argument("--data", type=Path, required=True, help="QuilletBench's JSON")
    perf.add_argument("--facts", type=Path, help="bench/run's facts about the machine, as JSON")
    perf.add_argument("--load-log", type=Path, help="bench/run's load log")
    perf.add_argument("--out", type=Path, required=True, help="the folder for performance.md and .png")
    perf.set_defaults(render=render_performance)
    rel = commands.add_parser("reliability", help="docs/reliability.md from the matrix's sections")
    rel.add_argument("--data", type=Path, required=True, help="the folder of the sections' JSON")
    rel.add_argument("--out", type=Path, required=True, help="the Markdown file to write")
    rel.set_defaults(render=render_reliability)
    args = parser.parse_args()
    try:
        return args.render(args)
    except (OSError, ValueError, KeyError, subprocess.CalledProcessError) as problem:
        print(f"render.py: {args.report}: {problem!r}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
