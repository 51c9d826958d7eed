"""The table of browsers is the one place that names their folders and keys: the tool, the
packages and the tests are made from it or read it. Documentation may show them to its readers."""

import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import browser_table  # noqa: E402

REPO = Path(__file__).resolve().parents[3]
# Written for people, not read by the build: README and docs show where things land.
EXEMPT_SUFFIXES = (".md",)


def spellings(place):
    """The ways a source file may write the place: as is, with escaped backslashes, and a folder
    without its leading slash (as a path under a staging root)."""
    written = {place, place.replace("\\", "\\\\"), place.lstrip("/")}
    return {text.lower() for text in written}


def tracked_files():
    listed = subprocess.run(["git", "-C", str(REPO), "ls-files", "-z"], capture_output=True,
                            check=True).stdout.decode().split("\0")
    table = browser_table.TABLE.relative_to(REPO).as_posix()
    return [name for name in listed
            if name and name != table and not name.endswith(EXEMPT_SUFFIXES)]


def test_no_folder_or_key_of_the_table_is_written_anywhere_else():
    places = {place: spellings(place) for place in browser_table.places()}
    found = []
    for name in tracked_files():
        path = REPO / name
        if not path.is_file():
            continue
        text = path.read_bytes().decode("utf-8", "replace").lower()
        found += [f"{name}: {place}" for place, texts in places.items()
                  if any(written in text for written in texts)]
    assert found == [], "\n".join(found)


def test_every_row_names_a_known_family_and_its_places():
    for row in browser_table.BROWSERS:
        assert row["family"] in ("chromium", "firefox"), row["name"]
        assert row["linux_user_folder"] and not row["linux_user_folder"].startswith("/")
        assert row["linux_system_folder"], row["name"]
        assert all(folder.startswith("/") for folder in row["linux_system_folder"]), row["name"]
        assert row["windows_manifest_keys"], row["name"]
        assert set(row["unconfirmed"]) <= set(row) - {"name", "family", "sources"}, row["name"]
        assert row["sources"] or set(row["unconfirmed"]) >= {
            "linux_user_folder", "linux_system_folder", "windows_manifest_keys"}, row["name"]
    assert len(set(browser_table.NAMES)) == len(browser_table.NAMES)
