"""talvik-stmap points: a CSV track through each frame's lens, against the
maps the command renders for those frames."""
import csv
import io
import subprocess

import numpy as np
import pytest

from conftest import SAMPLE_TAKE, STMAP, read_map, run_stmap, write_take

WIDTH, HEIGHT = 480, 270
FRAMES = [1001, 1009, 1024, 1030]  # 1030 is past the keys: the last key holds


@pytest.fixture(scope="module")
def maps(tmp_path_factory):
    """The command's maps of camera 2 at every frame of the track, by mode."""
    folder = tmp_path_factory.mktemp("maps")
    out = {}
    for mode in ("distort", "undistort"):
        run_stmap("render", "--fbx", SAMPLE_TAKE, "--camera", 2, "--size", f"{WIDTH}x{HEIGHT}", "--mode", mode,
                  "--frames", ",".join(map(str, FRAMES)), "-o", folder / f"{mode}.####.exr", "--quiet")
        out[mode] = {f: read_map(folder / f"{mode}.{f}.exr")[0] for f in FRAMES}
    return out


def track_rows(rng):
    """Points at pixel centres: (name, frame, column, line from the top)."""
    rows = []
    for frame in FRAMES:
        for n in range(6):
            rows.append((f"pt{n}", frame, int(rng.integers(WIDTH)), int(rng.integers(HEIGHT))))
    return rows


@pytest.mark.parametrize("mode", ["distort", "undistort"])
@pytest.mark.parametrize("origin", ["bottom-left", "top-left"])
def test_each_point_is_its_frames_map(folder, maps, mode, origin):
    rows = track_rows(np.random.default_rng([len(mode), len(origin)]))
    top_left = origin == "top-left"
    lines = ["name,frame,x,y,comment"]
    for name, frame, column, line in rows:
        y = line + 0.5 if top_left else (HEIGHT - 1 - line) + 0.5
        lines.append(f'{name},{frame},{column + 0.5},{y},"{name}, frame {frame}"')
    (folder / "track.csv").write_text("\n".join(lines) + "\n")
    result = run_stmap("points", "--fbx", SAMPLE_TAKE, "--camera", 2, "--size", f"{WIDTH}x{HEIGHT}", "--mode", mode,
                       "--origin", origin, folder / "track.csv", "-o", folder / "out.csv")
    assert "frame 1030 is outside the take's keyed range 1001-1024" in result.stderr
    out = list(csv.DictReader(io.StringIO((folder / "out.csv").read_text())))
    assert len(out) == len(rows)
    for (name, frame, column, line), got in zip(rows, out):
        s, t = maps[mode][frame][line, column].astype(np.float64)
        want_y = t * HEIGHT
        if top_left:
            want_y = HEIGHT - want_y
        assert (got["name"], int(got["frame"])) == (name, frame)
        assert abs(float(got["x"]) - s * WIDTH) <= 1e-4 and abs(float(got["y"]) - want_y) <= 1e-4, got
        assert got["comment"] == f"{name}, frame {frame}"


def test_other_columns_and_line_ends_pass_through_unchanged(folder):
    text = ('\ufeffid,"x",note,name,frame,y\r\n'
            '7,100.5,"two\r\nlines, a comma and ""quotes""",a,1001,20.5\r\n'
            '8,,empty stays empty,b,1002,\r\n')
    (folder / "track.csv").write_text(text, encoding="utf-8", newline="")
    run_stmap("points", "--fbx", SAMPLE_TAKE, "--camera", 2, "--size", "1920x1080", "--mode", "undistort",
              folder / "track.csv", "-o", folder / "out.csv", "--quiet")
    out = (folder / "out.csv").read_bytes().decode()
    lines = out.split("\r\n")
    assert lines[0] == '\ufeffid,"x",note,name,frame,y'
    assert lines[1].startswith("7,") and lines[1].endswith('"two')
    assert lines[2].startswith('lines, a comma and ""quotes""",a,1001,')
    assert lines[3] == "8,,empty stays empty,b,1002," and lines[4] == ""


def folding_take(folder):
    """Camera 1 folds in the corners of the frame on frame 2 only."""
    gentle = dict(cx=0, cy=0, fx=1500, fy=1500, k1=-0.05, k2=0.0, anamorphic=0)
    return write_take(folder / "fold.fbx", 1, {1: gentle, 2: dict(gentle, fx=1000, k1=-0.2)})


def test_points_past_the_fold_are_empty_and_named(folder):
    take = folding_take(folder)
    (folder / "track.csv").write_text("name,frame,x,y\n"
                                      "corner,1,0.5,0.5\ncentre,2,960,540\ncorner,2,0.5,0.5\nedge,2,1919.5,0.5\n")
    result = run_stmap("points", "--fbx", take, "--camera", 1, "--size", "1920x1080", "--mode", "undistort",
                       folder / "track.csv", "-o", folder / "out.csv")
    out = list(csv.DictReader(io.StringIO((folder / "out.csv").read_text())))
    assert [bool(r["x"]) for r in out] == [True, True, False, False]
    assert [bool(r["y"]) for r in out] == [True, True, False, False]
    warning = [line for line in result.stderr.splitlines() if line.startswith("warning:")]
    assert len(warning) == 1
    assert '2 points have no undistorted position' in warning[0]
    assert '"corner" at frame 2 (line 4), "edge" at frame 2 (line 5)' in warning[0]
    # Under --strict the warning fails the run and nothing is written.
    (folder / "out.csv").unlink()
    result = run_stmap("points", "--fbx", take, "--camera", 1, "--size", "1920x1080", "--mode", "undistort",
                       "--strict", folder / "track.csv", "-o", folder / "out.csv", check=False)
    assert result.returncode == 1 and "--strict" in result.stderr
    assert sorted(p.name for p in folder.iterdir()) == ["fold.fbx", "track.csv"]


@pytest.mark.parametrize("mode, fx, point, reason", [
    ("undistort", 1000, "1919.5,0.5", "at or beyond where the lens folds back"),
    ("distort", 1000, "1e12,540", "so far from the centre that its distorted position overflows"),
    ("distort", 0, "960,540", "the lens has a focal length of 0"),
])
def test_a_point_without_a_position_is_given_its_reason(folder, mode, fx, point, reason):
    take = write_take(folder / "t.fbx", 1, {1: dict(cx=0, cy=0, fx=fx, fy=1500, k1=-0.2, k2=0.0, anamorphic=0)})
    (folder / "track.csv").write_text(f"name,frame,x,y\nlost,1,{point}\n")
    result = run_stmap("points", "--fbx", take, "--camera", 1, "--size", "1920x1080", "--mode", mode,
                       folder / "track.csv", "-o", folder / "out.csv")
    assert f'1 point has no {mode}ed position ({reason}' in result.stderr, result.stderr
    assert '"lost" at frame 1 (line 2)' in result.stderr
    assert (folder / "out.csv").read_text() == "name,frame,x,y\nlost,1,,\n"


def peak_kib(*args):
    """The command's exit status and the most memory it held at once. A
    child starts with its parent's peak: a small python3 starts it."""
    spawn = ("import os, sys; pid = os.spawnv(os.P_NOWAIT, sys.argv[1], sys.argv[1:]); "
             "_, status, usage = os.wait4(pid, 0); print(os.waitstatus_to_exitcode(status), usage.ru_maxrss)")
    out = subprocess.run(["/usr/bin/python3", "-S", "-c", spawn, STMAP, *map(str, args)],
                         capture_output=True, text=True, check=True).stdout
    return tuple(map(int, out.split()))


def test_a_long_track_takes_the_memory_of_a_short_one(folder):
    block = "".join(f"p{i},{1001 + i % 24},{i % 1920 + 0.25},{i * 7 % 1080 + 0.75}\n" for i in range(1000))
    (folder / "short.csv").write_text("name,frame,x,y\n" + block)
    (folder / "long.csv").write_text("name,frame,x,y\n" + block * 1000)
    peak = {}
    for name in ("short", "long"):
        status, peak[name] = peak_kib("points", "--fbx", SAMPLE_TAKE, "--camera", 2, "--size", "1920x1080",
                                      "--mode", "undistort", folder / f"{name}.csv", "-o", folder / f"{name}.out.csv")
        assert status == 0, name
    # The long track converted whole is the short one converted a thousand times over.
    header, body = (folder / "short.out.csv").read_bytes().split(b"\n", 1)
    assert (folder / "long.out.csv").read_bytes() == header + b"\n" + body * 1000
    assert (peak["long"] - peak["short"]) * 1024 < (folder / "long.csv").stat().st_size / 4, peak


@pytest.mark.parametrize("text, message", [
    ("", "line 1: no header"),
    ("name,frame,x\n", 'no "y" column'),
    ("name,frame,x,y,x\n", 'column "x" is named twice'),
    ("name,frame,x,y\na,1001,1,2,3\n", "line 2: 5 fields, the header has 4"),
    ("name,frame,x,y\na,1001.5,1,2\n", 'line 2: frame "1001.5" is not a whole number'),
    ("name,frame,x,y\na,1001,1,nan\n", 'line 2: y "nan" is not a finite number'),
    ("name,frame,x,y\na,1001,1,\n", "line 2: x and y must both be given"),
    ('name,frame,x,y\n"a,1001,1,2\n', "line 2: a quote is never closed"),
])
def test_a_damaged_track_is_named_and_nothing_written(folder, text, message):
    (folder / "track.csv").write_text(text)
    result = run_stmap("points", "--fbx", SAMPLE_TAKE, "--camera", 2, "--size", "64x64", "--mode", "distort",
                       folder / "track.csv", "-o", folder / "out.csv", check=False)
    assert result.returncode == 1, result.stderr
    assert message in result.stderr and str(folder / "track.csv") in result.stderr
    assert not (folder / "out.csv").exists()


def test_usage(folder):
    (folder / "track.csv").write_text("name,frame,x,y\n")
    base = ["points", "--fbx", SAMPLE_TAKE, folder / "track.csv", "-o", folder / "out.csv"]
    for extra, message in [([], "--mode"), (["--mode", "distort"], "--plate or --size"),
                           (["--mode", "distort", "--size", "8x8", "--origin", "centre"], "--origin takes")]:
        result = run_stmap(*base, *extra, check=False)
        assert result.returncode == 2 and message in result.stderr, result.stderr
    # The output may not land on the track it reads.
    result = run_stmap("points", "--fbx", SAMPLE_TAKE, "--camera", 2, "--size", "8x8", "--mode", "distort",
                       folder / "track.csv", "-o", folder / "track.csv", check=False)
    assert result.returncode != 0 and (folder / "track.csv").read_text() == "name,frame,x,y\n"
