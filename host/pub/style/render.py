#!/usr/bin/env python3
"""Renders the style's SVG drawings (svg/) into the PNG files the resource ships, and writes the
resource list style.qrc beside the library's sources.

Qt reads the PNGs without its SVG module, which the project does not install; the SVGs stay the
sources to edit. Needs rsvg-convert (Debian: librsvg2-bin). Run it after changing a drawing:

    python3 host/pub/style/render.py

Each tool bar icon NAME gives <size>/NAME.png and the greyed <size>/NAME1.png for the sizes below;
the application icon gives its sizes as AppIcon; the bitmaps ClnBG and ToolBG keep their own size.
"""

import pathlib
import re
import subprocess
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
SVG = HERE / "svg"
PNG = HERE / "png"
ICON_SIZES = [16, 24, 32, 48]
APP_ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]
BITMAPS = ["ClnBG", "ToolBG"]


def greyed(svg_text):
    """Every colour turned into a light grey of its own brightness, as a disabled button shows."""
    def grey(match):
        h = match.group(1)
        if len(h) == 3:
            h = "".join(c * 2 for c in h)
        r, g, b = (int(h[i:i + 2], 16) for i in (0, 2, 4))
        lum = 0.299 * r + 0.587 * g + 0.114 * b
        v = round(150 + lum * 0.38)  # dark lines become mid grey, white stays near white
        return "#%02X%02X%02X" % (v, v, v)
    return re.sub(r"#([0-9A-Fa-f]{6}|[0-9A-Fa-f]{3})\b", grey, svg_text)


def render(svg_text, size, out):
    out.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.NamedTemporaryFile("w", suffix=".svg", delete=False) as f:
        f.write(svg_text)
    cmd = ["rsvg-convert", "-o", str(out), f.name]
    if size:
        cmd[1:1] = ["-w", str(size), "-h", str(size)]
    subprocess.run(cmd, check=True)
    pathlib.Path(f.name).unlink()


def main():
    files = []
    for svg in sorted(SVG.glob("*.svg")):
        name, text = svg.stem, svg.read_text(encoding="utf-8")
        if name in BITMAPS:
            render(text, None, PNG / f"{name}.png")
            files.append(f"{name}.png")
            continue
        sizes = APP_ICON_SIZES if name == "AppIcon" else ICON_SIZES
        for size in sizes:
            render(text, size, PNG / str(size) / f"{name}.png")
            files.append(f"{size}/{name}.png")
            if name != "AppIcon":
                render(greyed(text), size, PNG / str(size) / f"{name}1.png")
                files.append(f"{size}/{name}1.png")
    lines = ["<!-- Written by style/render.py: the style's icons and bitmaps under :/lumeko/style/ -->",
             "<RCC>", '  <qresource prefix="/lumeko/style">']
    lines += [f'    <file alias="{f}">style/png/{f}</file>' for f in sorted(files)]
    lines += ["  </qresource>", "</RCC>", ""]
    (HERE.parent / "style.qrc").write_text("\n".join(lines), encoding="utf-8")
    print(f"{len(files)} images")


if __name__ == "__main__":
    main()
