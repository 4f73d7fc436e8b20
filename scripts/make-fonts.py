#!/usr/bin/python3
"""Writes a copy of a TrueType font under a new family name, so that a test or the demo can tell
an application's private font from every font the system already has.

usage: make-fonts.py SOURCE.ttf "New Family" OUTPUT.ttf
"""
import sys

from fontTools.ttLib import TTFont


def rename(source: str, family: str, output: str) -> None:
    font = TTFont(source)
    postscript = "".join(c for c in family if c.isascii() and c.isalnum()) or "Font"
    names = {
        1: family,                 # family
        2: "Regular",              # subfamily
        3: f"{postscript}-1.0",    # unique id
        4: family,                 # full name
        6: postscript,             # PostScript name
        16: family,                # typographic family
        17: "Regular",
    }
    table = font["name"]
    for record in list(table.names):
        if record.nameID in names:
            table.removeNames(nameID=record.nameID)
    for name_id, text in names.items():
        table.setName(text, name_id, 3, 1, 0x409)  # Windows, Unicode BMP, en-US
        if text.isascii():  # Mac Roman cannot hold other scripts; Windows reads the Unicode record
            table.setName(text, name_id, 1, 0, 0)  # Macintosh, Roman, English
    font.save(output)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    rename(sys.argv[1], sys.argv[2], sys.argv[3])
