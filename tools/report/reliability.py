"""The reliability report's rows: each section's runs as the matrix wrote them, shown as a reader of the
pipe sees them."""

import json
from pathlib import Path

# Longer output is cut in a table cell; the test has checked all of it.
CELL_LIMIT = 300


def shown(output, names):
    """Output as the report shows it: CR LF as the two characters \\n, and the test's own values (folders,
    guids) as the placeholders that its commands use."""
    text = output.replace("\r\n", "\\n").replace("\r", "\\r").replace("\n", "\\n")
    for placeholder, value in names:
        text = text.replace(value, placeholder)
    return text


def cell(text):
    """A table cell of code: the table's separator escaped, a long text cut, nothing shown as such."""
    if not text:
        return "*(nothing)*"
    cut = (text[:CELL_LIMIT] + "..." if len(text) > CELL_LIMIT else text).replace("|", "\\|")
    return f"`` {cut} ``" if "`" in cut else f"`{cut}`"


def exit_code(code):
    return f"0x{code:08X}" if code else "0"


def context(directory):
    """The sections found in directory (one JSON file each, named by the section's id) and the platform
    that the runs were made on."""
    sections = {}
    platform = None
    for path in sorted(Path(directory).glob("*.json")):
        section = json.loads(path.read_text(encoding="utf-8"))
        platform = section["platform"]
        sections[path.stem] = [
            {"fault": row["fault"], "command": row["command"], "exit_code": row["exitCode"],
             "output": shown(row["output"], section["names"])}
            for row in section["rows"]
        ]
    return {"sections": sections, "platform": platform}
