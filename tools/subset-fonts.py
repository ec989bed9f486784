#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Cuts the carried fonts down to the characters the program can show.

    subset-fonts.py --out DIR --qm qtbase_ja.qm --sources DIR... \
                    --font FONT FILE FAMILY [--font FONT FILE FAMILY ...]

The characters are: every character outside ASCII in the program's sources (its texts
are written there as they are shown), printable ASCII and its full-width forms (digits
and signs, and whatever a pupil types into an answer box), and the Japanese texts of the
buttons of Qt's own dialogs, read from Qt's translation file. Writes each FONT, subset,
as DIR/FILE, and the characters kept into DIR/characters.txt.

A font cut down so is a font of its own: the licence of the IPA fonts asks that it carry
neither their name nor their file name, so each gets the family name FAMILY.
"""
import argparse
import os
import pathlib
import struct
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

SOURCE_ENDINGS = (".cpp", ".h")
# The contexts of Qt's translations that hold the texts of dialog buttons.
BUTTON_CONTEXTS = {b"QPlatformTheme", b"QMessageBox", b"QDialogButtonBox"}
QM_MAGIC = bytes.fromhex("3CB86418CAEF9C95CD211CBF60A1BDDD")
QM_MESSAGES = 0x69
TAG_END, TAG_TRANSLATION, TAG_OBSOLETE1 = 1, 3, 5
TAG_SOURCE_TEXT, TAG_CONTEXT, TAG_COMMENT = 6, 7, 8


def qm_translations(data, contexts):
    """The translations in a Qt .qm file whose context is one of `contexts`."""
    if not data.startswith(QM_MAGIC):
        raise ValueError("not a Qt translation file")
    pos, found = len(QM_MAGIC), []
    while pos + 5 <= len(data):
        tag, length = data[pos], struct.unpack_from(">I", data, pos + 1)[0]
        block = data[pos + 5:pos + 5 + length]
        pos += 5 + length
        if tag != QM_MESSAGES:
            continue
        m, texts, context = 0, [], None
        while m < len(block):
            t = block[m]
            m += 1
            if t == TAG_END:
                if context in contexts:
                    found.extend(texts)
                texts, context = [], None
            elif t == TAG_TRANSLATION:
                n = struct.unpack_from(">I", block, m)[0]
                m += 4
                if n != 0xFFFFFFFF:
                    texts.append(block[m:m + n].decode("utf-16-be"))
                    m += n
            elif t == TAG_OBSOLETE1:
                m += 4
            elif t in (TAG_SOURCE_TEXT, TAG_CONTEXT, TAG_COMMENT):
                n = struct.unpack_from(">I", block, m)[0]
                if t == TAG_CONTEXT:
                    context = block[m + 4:m + 4 + n]
                m += 4 + n
            else:
                raise ValueError(f"unknown tag {t} in the messages of the translation file")
    return found


def characters(source_dirs, qm_file):
    chars = {chr(c) for c in range(0x20, 0x7F)}
    chars |= {chr(c) for c in range(0xFF01, 0xFF5F)}   # full-width forms of ASCII
    chars.add("\u3000")                                 # the full-width space
    for d in source_dirs:
        for path in sorted(pathlib.Path(d).rglob("*")):
            if path.suffix in SOURCE_ENDINGS:
                chars |= {c for c in path.read_text(encoding="utf-8") if ord(c) > 0x7F}
    with open(qm_file, "rb") as f:
        for text in qm_translations(f.read(), BUTTON_CONTEXTS):
            chars |= set(text)
    return "".join(sorted(c for c in chars if c.isprintable()))


# Name table entries that name the font: family, unique id, full name, PostScript name,
# typographic family.
FAMILY_NAME_IDS = (1, 3, 4, 6, 16)


def rename(path, family):
    font = TTFont(path)
    postscript = family.replace(" ", "")
    for record in font["name"].names:
        if record.nameID in FAMILY_NAME_IDS:
            record.string = postscript if record.nameID in (3, 6) else family
    font.save(path)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", required=True)
    ap.add_argument("--qm", required=True)
    ap.add_argument("--sources", nargs="+", required=True)
    ap.add_argument("--font", nargs=3, action="append", required=True, metavar=("FONT", "FILE", "FAMILY"))
    args = ap.parse_args()
    text = characters(args.sources, args.qm)
    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "characters.txt"), "w", encoding="utf-8") as f:
        f.write(text + "\n")
    for font, file, family in args.font:
        out = os.path.join(args.out, file)
        subset.main([font, f"--text-file={os.path.join(args.out, 'characters.txt')}",
                     f"--output-file={out}", "--name-IDs=*", "--name-languages=*",
                     "--notdef-outline", "--no-hinting"])
        rename(out, family)
    print(f"{len(text)} characters kept in {', '.join(f for _, f, _ in args.font)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
