#!/usr/bin/env python3
"""Generate data/Chinese.dll, the pinyin table LumekoAchieve reads.

The find dialog turns Chinese names into the initials of their pinyin so they
can be matched by typing Latin letters (张三 -> zs); the import wizard makes
login names from the full pinyin (张三 -> zhangsan). This table is where both
come from.

Despite its name the file is plain UTF-8 text with '\\n' line endings. Lines
come in pairs: a pinyin syllable without tone marks (lower case, "v" standing
for "ü"), then every character whose main Mandarin reading is that syllable,
run together. Syllables are in alphabetical order and each character appears
in exactly one pair. Within a pair the characters are in GBK code order.

Every GB2312 hanzi is covered (the script fails if one has no reading), plus
every other CJK unified ideograph in GBK that has a reading.

Readings come from the Unicode Han database (Unihan) that Debian ships in the
unicode-data package. To regenerate after updating that package:

    apt-get install -y unicode-data     # if it is not installed yet
    python3 scripts/gen-pinyin.py     # rewrites data/Chinese.dll

and to check that the committed table is up to date (exit status 1 if not):

    python3 scripts/gen-pinyin.py --check
"""

import argparse
import bz2
import io
import os
import sys
import tempfile
import unicodedata
import zipfile
from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parent.parent
DEFAULT_OUT = REPO_ROOT / "data" / "Chinese.dll"

# Upstream distributes Unihan as one zip; Debian's unicode-data package
# instead ships each Unihan file bz2-compressed. Either will do.
DEFAULT_UNIHAN = Path("/usr/share/unicode/Unihan.zip")
DEFAULT_UNIHAN_ALTERNATIVES = (
    DEFAULT_UNIHAN,
    Path("/usr/share/unicode/Unihan_Readings.txt.bz2"),
    Path("/usr/share/unicode/Unihan_Readings.txt"),
)
READINGS_FILE = "Unihan_Readings.txt"

# kMandarin gives the reading in common use on the mainland first, so it is
# the one we trust. The dictionary fields only fill in characters that lack
# it; kHanyuPinyin lists a character's readings in the dictionary's own order
# (main reading first), while the other two list them by page number.
PRIMARY_FIELD = "kMandarin"
FALLBACK_FIELDS = ("kHanyuPinyin", "kXHC1983", "kTGHZ2013")
READING_FIELDS = (PRIMARY_FIELD,) + FALLBACK_FIELDS

LETTERS = "abcdefghijklmnopqrstuvwxyz"


class TableError(Exception):
    """The table cannot be built from the data at hand."""


# --- Unihan -----------------------------------------------------------------

def resolve_unihan(path):
    """Return the Unihan source to read: the given path, or the first default
    location that exists."""
    if path is not None:
        return Path(path)
    for candidate in DEFAULT_UNIHAN_ALTERNATIVES:
        if candidate.exists():
            return candidate
    raise TableError(
        "no Unihan data found (looked for "
        + ", ".join(str(p) for p in DEFAULT_UNIHAN_ALTERNATIVES)
        + "); install it with 'apt-get install -y unicode-data' or pass --unihan")


def open_readings(path):
    """Open Unihan_Readings.txt as text, from a Unihan zip, a directory holding
    the Unihan files, a .bz2 file or the plain text file."""
    if path.is_dir():
        for name in ("Unihan.zip", READINGS_FILE + ".bz2", READINGS_FILE):
            if (path / name).exists():
                return open_readings(path / name)
        raise TableError(f"{path}: no Unihan.zip or {READINGS_FILE} in this directory")
    if not path.exists():
        raise TableError(f"{path}: no such file")
    if zipfile.is_zipfile(path):
        archive = zipfile.ZipFile(path)
        members = [n for n in archive.namelist() if n.rsplit("/", 1)[-1] == READINGS_FILE]
        if not members:
            raise TableError(f"{path}: the archive holds no {READINGS_FILE}")
        return io.TextIOWrapper(archive.open(members[0]), encoding="utf-8")
    if path.suffix == ".bz2":
        return bz2.open(path, "rt", encoding="utf-8")
    return open(path, "r", encoding="utf-8")


def load_readings(path):
    """Map each reading field to {character: raw field value}."""
    fields = {name: {} for name in READING_FIELDS}
    with open_readings(path) as lines:
        for number, line in enumerate(lines, 1):
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            parts = line.split("\t")
            if len(parts) != 3 or not parts[0].startswith("U+"):
                raise TableError(f"{path}: line {number} is malformed: {line!r}")
            code, field, value = parts
            if field in fields:
                fields[field][chr(int(code[2:], 16))] = value
    if not fields[PRIMARY_FIELD]:
        raise TableError(f"{path}: no {PRIMARY_FIELD} readings found")
    return fields


def first_reading(value):
    """The first reading in a Unihan reading field.

    kMandarin holds bare readings ("zhòng chóng"); the dictionary fields hold
    "location:reading,reading location:reading" entries.
    """
    entry = value.split()[0]
    return entry.rsplit(":", 1)[-1].split(",")[0]


def syllable_of(reading):
    """A reading without its tone mark, "ü" written "v" as on a keyboard:
    "ǎi" -> "ai", "lǜ" -> "lv", "ḿ" -> "m", "ê̄" -> "e"."""
    decomposed = unicodedata.normalize("NFD", reading.lower()).replace("u\u0308", "v")
    syllable = "".join(c for c in decomposed if not unicodedata.combining(c))
    if not syllable or any(c not in LETTERS for c in syllable):
        raise TableError(f"cannot read a pinyin syllable from the reading {reading!r}")
    return syllable


def reading_for(char, fields):
    """(reading, field it came from) for a character, or None if it has none."""
    for field in READING_FIELDS:
        value = fields[field].get(char)
        if value and value.strip():
            return first_reading(value), field
    return None


# --- GBK / GB2312 -------------------------------------------------------------

def gb2312_hanzi():
    """The 6763 hanzi of GB2312 (rows 16-87), in code order."""
    chars = []
    for lead in range(0xB0, 0xF8):
        for trail in range(0xA1, 0xFF):
            try:
                chars.append(bytes((lead, trail)).decode("gb2312"))
            except UnicodeDecodeError:
                pass  # unassigned positions at the end of row 55
    return chars


def is_unified_ideograph(char):
    return unicodedata.name(char, "").startswith("CJK UNIFIED IDEOGRAPH")


def gbk_ideographs():
    """Every CJK unified ideograph GBK can encode, mapped to its GBK code."""
    codes = {}
    for lead in range(0x81, 0xFF):
        for trail in range(0x40, 0xFF):
            if trail == 0x7F:
                continue
            raw = bytes((lead, trail))
            try:
                char = raw.decode("gbk")
            except UnicodeDecodeError:
                continue
            if len(char) == 1 and is_unified_ideograph(char):
                codes.setdefault(char, raw)
    return codes


# --- table ------------------------------------------------------------------

def build_table(fields):
    """Build the table text.

    Returns (text, stats) where stats has the per-letter counts, the number of
    GB2312 hanzi covered and the characters whose reading came from a
    fallback field.
    """
    gbk = gbk_ideographs()
    gb2312 = gb2312_hanzi()
    for char in gb2312:
        if char not in gbk:
            raise TableError(f"GB2312 hanzi {char} (U+{ord(char):04X}) is not in the GBK table")

    unread = [c for c in gb2312 if reading_for(c, fields) is None]
    if unread:
        listing = " ".join(f"{c} U+{ord(c):04X}" for c in unread)
        raise TableError(f"{len(unread)} GB2312 hanzi have no Mandarin reading: {listing}")

    by_syllable = {}
    fallbacks = []
    for char in sorted(gbk, key=gbk.__getitem__):
        found = reading_for(char, fields)
        if found is None:
            continue  # rare GBK characters Unihan gives no reading for
        reading, field = found
        try:
            syllable = syllable_of(reading)
        except TableError as error:
            raise TableError(f"{char} (U+{ord(char):04X}), {field}: {error}") from None
        by_syllable.setdefault(syllable, []).append(char)
        if field != PRIMARY_FIELD:
            fallbacks.append((char, field, reading))

    lines = []
    for syllable in sorted(by_syllable):
        lines.append(syllable)
        lines.append("".join(by_syllable[syllable]))
    text = "".join(line + "\n" for line in lines)

    covered = set()
    counts = {}
    for syllable, chars in by_syllable.items():
        covered.update(chars)
        counts[syllable[0]] = counts.get(syllable[0], 0) + len(chars)
    stats = {
        "syllables": len(by_syllable),
        "counts": dict(sorted(counts.items())),
        "gb2312": sum(1 for c in gb2312 if c in covered),
        "gb2312_total": len(gb2312),
        "gbk_total": len(gbk),
        "fallbacks": fallbacks,
    }
    return text, stats


def write_atomically(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    fd, tmp = tempfile.mkstemp(prefix=path.name + ".", dir=path.parent)
    try:
        with os.fdopen(fd, "wb") as out:
            out.write(data)
        os.chmod(tmp, 0o644)
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


def summary(stats):
    counts = " ".join(f"{letter}:{n}" for letter, n in stats["counts"].items())
    total = sum(stats["counts"].values())
    lines = [
        f"{total} characters in {stats['syllables']} syllables (by initial: {counts})",
        f"GB2312 hanzi covered: {stats['gb2312']} of {stats['gb2312_total']}; "
        f"GBK ideographs without a reading: {stats['gbk_total'] - total}",
    ]
    if stats["fallbacks"]:
        lines.append("readings taken from a dictionary field (no kMandarin): "
                     + " ".join(f"{c}={r}({f})" for c, f, r in stats["fallbacks"]))
    return "\n".join(lines)


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Generate the pinyin table (data/Chinese.dll) from Unihan.")
    parser.add_argument("--unihan", metavar="PATH",
                        help=f"Unihan.zip, Unihan_Readings.txt(.bz2) or a directory holding "
                             f"them (default: {DEFAULT_UNIHAN}, else Debian's "
                             f"{DEFAULT_UNIHAN_ALTERNATIVES[1]})")
    parser.add_argument("--out", metavar="PATH", type=Path, default=DEFAULT_OUT,
                        help=f"table to write or check (default: {DEFAULT_OUT})")
    parser.add_argument("--check", action="store_true",
                        help="write nothing; exit 1 if the table differs from a fresh one")
    parser.add_argument("-q", "--quiet", action="store_true", help="print nothing on success")
    args = parser.parse_args(argv)

    try:
        fields = load_readings(resolve_unihan(args.unihan))
        text, stats = build_table(fields)
    except (TableError, OSError, zipfile.BadZipFile, UnicodeDecodeError) as error:
        print(f"gen-pinyin: {error}", file=sys.stderr)
        return 1
    data = text.encode("utf-8")

    if args.check:
        try:
            current = args.out.read_bytes()
        except OSError as error:
            print(f"gen-pinyin: cannot read {args.out}: {error.strerror}", file=sys.stderr)
            return 1
        if current != data:
            print(f"gen-pinyin: {args.out} is out of date; "
                  f"run scripts/gen-pinyin.py to regenerate it", file=sys.stderr)
            return 1
        if not args.quiet:
            print(f"{args.out} is up to date")
        return 0

    try:
        write_atomically(args.out, data)
    except OSError as error:
        print(f"gen-pinyin: cannot write {args.out}: {error}", file=sys.stderr)
        return 1
    if not args.quiet:
        print(f"wrote {args.out}")
        print(summary(stats))
    return 0


if __name__ == "__main__":
    sys.exit(main())
