#!/usr/bin/python3
"""Makes the pictures in docs/images/ from the project's own outputs.

Renders both ST maps of the bundled sample take (frame 1001, camera 2 as the
sample plate names it) with talvik-stmap, draws a straight grid at the sample
plate's format, pushes the grid through each map with OpenImageIO's st_warp
(Debian's python3-openimageio) and writes small PNGs:

  grid.png    the grid, standing in for a plate (the sample plate is black)
  remove.png  the grid through the remove-distortion map (Mode Distort),
              over its box with the overscan `--overscan auto` measures
  add.png     the grid through the add-distortion map (Mode Undistort)

Usage: tools/make-doc-pictures.py [--stmap build/cli/talvik-stmap] [--out docs/images]
"""
import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np
import OpenImageIO as oiio

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PLATE = os.path.join(ROOT, "sample", "plate.exr")
TAKE = os.path.join(ROOT, "sample", "sample_take.fbx")
FRAME = "1001"
PICTURE_WIDTH = 640  # a third of the 1920 plate: small files, lines still visible
LARGEST_PNG = 200 * 1024  # bytes: the pictures live in the repository


def render_map(stmap, mode, path, extra):
    command = [stmap, "render", "--quiet", "--plate", PLATE, "--fbx", TAKE, "--mode", mode,
               "--frames", FRAME, "-o", path] + extra
    try:
        status = subprocess.run(command).returncode
    except OSError as e:
        sys.exit("cannot run %s: %s (build it first, or give --stmap)" % (stmap, e.strerror))
    if status != 0:
        sys.exit("talvik-stmap render --mode %s failed (exit %d)" % (mode, status))
    return oiio.ImageBuf(path)


def grid(width, height):
    """Light lines every 60 px on dark grey, the format's edge in yellow and a
    red cross through the centre, so the lens's bend shows at every scale."""
    pixels = np.full((height, width, 3), 0.18, dtype=np.float32)
    step, half = 60, 2
    for x in range(0, width + 1, step):
        pixels[:, max(x - half, 0):x + half] = 0.9
    for y in range(0, height + 1, step):
        pixels[max(y - half, 0):y + half, :] = 0.9
    pixels[height // 2 - half:height // 2 + half, :] = (0.9, 0.1, 0.1)
    pixels[:, width // 2 - half:width // 2 + half] = (0.9, 0.1, 0.1)
    edge = 6
    for band in (np.s_[:edge, :], np.s_[-edge:, :], np.s_[:, :edge], np.s_[:, -edge:]):
        pixels[band] = (0.95, 0.8, 0.1)
    image = oiio.ImageBuf(oiio.ImageSpec(width, height, 3, oiio.FLOAT))
    image.set_pixels(oiio.ROI(0, width, 0, height), pixels)
    return image


def warp(source, st_map):
    """STMap in Nuke's convention: R = s, G = t, t = 0 on the bottom line."""
    result = oiio.ImageBufAlgo.st_warp(source, st_map, "", 0.0, 0, 1, False, True)
    if result.has_error:
        sys.exit("st_warp: " + result.geterror())
    return result


def write_png(image, path):
    """The whole box of the image (its data window), scaled to PICTURE_WIDTH."""
    roi = image.roi
    box = oiio.ImageBuf(oiio.ImageSpec(roi.width, roi.height, 3, oiio.FLOAT))
    box.set_pixels(oiio.ROI(0, roi.width, 0, roi.height), image.get_pixels(oiio.FLOAT, roi)[:, :, :3])
    height = round(roi.height * PICTURE_WIDTH / roi.width)
    small = oiio.ImageBufAlgo.resize(box, roi=oiio.ROI(0, PICTURE_WIDTH, 0, height, 0, 1, 0, 3))
    small.specmod().attribute("png:compressionLevel", 9)
    if not small.write(path, oiio.UINT8):
        sys.exit("cannot write %s: %s" % (path, small.geterror()))
    if os.path.getsize(path) > LARGEST_PNG:
        sys.exit("%s is %d bytes, more than %d" % (path, os.path.getsize(path), LARGEST_PNG))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--stmap", default=os.path.join(ROOT, "build", "cli", "talvik-stmap"))
    parser.add_argument("--out", default=os.path.join(ROOT, "docs", "images"))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        remove = render_map(args.stmap, "distort", os.path.join(work, "remove.exr"), ["--overscan", "auto"])
        add = render_map(args.stmap, "undistort", os.path.join(work, "add.exr"), [])
        plate_format = add.roi_full  # the display window: the plate's format
        plate_grid = grid(plate_format.width, plate_format.height)
        write_png(plate_grid, os.path.join(args.out, "grid.png"))
        write_png(warp(plate_grid, remove), os.path.join(args.out, "remove.png"))
        write_png(warp(plate_grid, add), os.path.join(args.out, "add.png"))
    for name in ("grid.png", "remove.png", "add.png"):
        print(os.path.join(args.out, name))


if __name__ == "__main__":
    main()
