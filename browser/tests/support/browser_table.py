"""The table of browsers (browser/tools/register/browsers.csv), as the tests read it."""

import csv
from pathlib import Path

TABLE = Path(__file__).resolve().parents[2] / "tools" / "register" / "browsers.csv"

# Cells that may name two places (or columns), '|' between them.
_LISTS = ("linux_system_folder", "windows_manifest_keys", "unconfirmed")


def rows():
    with TABLE.open(newline="") as table:
        lines = [line for line in table if line.strip() and not line.startswith("#")]
    found = []
    for row in csv.DictReader(lines):
        for column in _LISTS:
            row[column] = row[column].split("|") if row[column] else []
        found.append(row)
    return found


BROWSERS = rows()
NAMES = [row["name"] for row in BROWSERS]
BY_NAME = {row["name"]: row for row in BROWSERS}
CHROMIUM_FAMILY = [row["name"] for row in BROWSERS if row["family"] == "chromium"]


def places():
    """Every folder and key the table writes down, each once."""
    found = []
    for row in BROWSERS:
        for column, value in row.items():
            if column in ("name", "family", "linux_snap", "linux_flatpak", "unconfirmed",
                          "sources"):
                continue
            for place in value if isinstance(value, list) else [value]:
                if place and place not in found:
                    found.append(place)
    return found
