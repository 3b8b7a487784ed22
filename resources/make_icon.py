#!/usr/bin/env python3
"""Draws the program's icon (a folder with a clock on it) with ImageMagick and packs every size
Windows asks for, 16 to 256 pixels, as palette PNG images into resources/chronotree.ico.

PNG entries (read by Windows Vista and later at every size) keep the icon under 8 KiB, so
the 32-bit program stays within 64 KiB. usage: make_icon.py [OUTPUT]"""
import os
import struct
import subprocess
import sys
import tempfile

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
# The folder (tab and body) in amber, the clock face in white with navy hands.
SHAPES = [
    "-fill", "#E8A33D", "-stroke", "#8A5A12", "-strokewidth", "8",
    "-draw", "roundrectangle 16,36 112,76 10,10",
    "-draw", "roundrectangle 16,56 240,224 16,16",
    "-fill", "white", "-stroke", "#2B4C7E", "-strokewidth", "10",
    "-draw", "circle 168,150 168,90",
    "-strokewidth", "12",
    "-draw", "line 168,150 168,108",
    "-draw", "line 168,150 200,166",
]


def draw(work):
    big = os.path.join(work, "big.png")
    subprocess.run(["convert", "-size", "256x256", "xc:none"] + SHAPES + [big], check=True)
    images = []
    for size in SIZES:
        small = os.path.join(work, "%d.png" % size)
        # No time stamps in the PNGs, so that the same script gives the same bytes.
        subprocess.run(["convert", big, "-resize", "%dx%d" % (size, size), "-colors", "64",
                        "-define", "png:exclude-chunks=date,time", "+set", "date:create",
                        "+set", "date:modify", "PNG8:" + small], check=True)
        with open(small, "rb") as image:
            images.append((size, image.read()))
    return images


def pack(images):
    """ICONDIR, one ICONDIRENTRY a size (0 stands for 256), then the images."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, data = b"", b""
    for size, png in images:
        side = 0 if size == 256 else size
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(png), offset + len(data))
        data += png
    return header + entries + data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "chronotree.ico")
    with tempfile.TemporaryDirectory() as work:
        icon = pack(draw(work))
    with open(output, "wb") as out:
        out.write(icon)
    print("%s: %d sizes, %d bytes" % (output, len(SIZES), len(icon)))


if __name__ == "__main__":
    main()
