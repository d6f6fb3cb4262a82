"""talvik.Lens.st_map against the maps talvik-stmap writes: bit for bit,
both modes, over the format and over a box reaching past it."""
import numpy as np
import pytest

import talvik
from conftest import SAMPLE_TAKE, read_map, run_stmap, same_bits

WIDTH, HEIGHT = 640, 360
# Off centre, anamorphic and folding inside the frame's corners (Undistort
# has no position there), so every branch of the rows shows up.
LENS = dict(cx=12.5, cy=-30.25, fx=1000.0, fy=900.0, anamorphic=True, k1=-0.2, k2=0.01)


def command_map(folder, mode, *extra):
    sets = [a for name, value in LENS.items() for a in ("--set", f"{name}={str(value).lower()}")]
    out = folder / f"{mode}.exr"
    run_stmap("render", "--size", f"{WIDTH}x{HEIGHT}", "--mode", mode, *sets, *extra, "-o", out, "--quiet")
    return read_map(out)


@pytest.mark.parametrize("mode", ["distort", "undistort"])
def test_the_format_is_the_commands_map(folder, mode):
    want, window = command_map(folder, mode)
    assert window == (0, 0, WIDTH, HEIGHT)
    got = talvik.Lens(**LENS).st_map(WIDTH, HEIGHT, mode)
    assert got.dtype == np.float32 and got.shape == (HEIGHT, WIDTH, 2)
    assert same_bits(got, want)
    # The Distort map removes the distortion, the Undistort map adds it.
    direction = {"distort": "remove", "undistort": "add"}[mode]
    assert same_bits(talvik.Lens(**LENS).st_map(WIDTH, HEIGHT, direction=direction), want)
    with pytest.raises(ValueError, match="disagree"):
        talvik.Lens(**LENS).st_map(WIDTH, HEIGHT, mode, direction={"remove": "add", "add": "remove"}[direction])
    if mode == "undistort":
        assert ((got[..., 0] == 0) & (got[..., 1] == 0)).any(), "the lens should fold inside the frame"


@pytest.mark.parametrize("mode", ["distort", "undistort"])
def test_a_box_past_the_format_is_the_commands_overscan(folder, mode):
    # --overscan left,right,bottom,top grows the box to (-L, -B, W + R, H + T).
    left, right, bottom, top = 7, 3, 11, 5
    want, (x, y, width, height) = command_map(folder, mode, "--overscan", f"{left},{right},{bottom},{top}")
    # EXR lines run down from the format's top line: the box's top is -T.
    assert (x, y, width, height) == (-left, -top, WIDTH + left + right, HEIGHT + bottom + top)
    box = (-left, -bottom, WIDTH + right, HEIGHT + top)
    got = talvik.Lens(**LENS).st_map(WIDTH, HEIGHT, mode, box=box)
    assert same_bits(got, want)


def test_a_box_inside_the_format_is_that_part_of_the_map():
    lens = talvik.Lens(**LENS)
    whole = lens.st_map(WIDTH, HEIGHT, "undistort")
    x, y, r, t = 100, 40, 300, 200
    part = lens.st_map(WIDTH, HEIGHT, "undistort", box=(x, y, r, t))
    # Row 0 is the top line; Nuke's row t - 1 is array line HEIGHT - t.
    assert same_bits(part, whole[HEIGHT - t:HEIGHT - y, x:r])


def test_a_takes_lens_renders_the_commands_map_of_that_frame(folder):
    take = talvik.Take(SAMPLE_TAKE)
    for frame in (1001, 1013):
        out = folder / f"take.{frame}.exr"
        run_stmap("render", "--fbx", SAMPLE_TAKE, "--camera", 2, "--size", f"{WIDTH}x{HEIGHT}", "--mode",
                  "undistort", "--frames", frame, "-o", out, "--quiet")
        want, _ = read_map(out)
        assert same_bits(take.lens(2, frame).st_map(WIDTH, HEIGHT, "undistort"), want), frame


def test_the_version_is_the_commands():
    version = run_stmap("--version").stdout.splitlines()
    assert version[0].split()[-1] == talvik.__version__
    assert f"lens model {talvik.lens_model_version}" in "\n".join(version)
