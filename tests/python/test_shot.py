"""The shot functions against the command on the sample shot: the same
files bit for bit, the same report, the same verdict, and the command's
warnings as Python warnings."""
import filecmp
import json
import warnings

import pytest

import talvik
from conftest import SAMPLE_PLATE, SAMPLE_TAKE, run_stmap

SHOT = {"fbx": SAMPLE_TAKE, "plate": SAMPLE_PLATE}


def test_render_overscan_and_verify_match_the_command(tmp_path):
    run_stmap("render", "--fbx", SAMPLE_TAKE, "--plate", SAMPLE_PLATE, "--mode", "distort", "--overscan", "auto",
              "--frames", "1001-1002", "-o", tmp_path / "cmd/rm.####.exr", "--preview", tmp_path / "cmd/rm.####.png")
    talvik.render(tmp_path / "py/rm.####.exr", **SHOT, mode="distort", overscan="auto", frames=[1001, 1002],
                  preview=tmp_path / "py/rm.####.png")
    for name in ["rm.1001.exr", "rm.1002.exr", "rm.1002.png"]:
        assert filecmp.cmp(tmp_path / "cmd" / name, tmp_path / "py" / name, shallow=False), name

    run_stmap("overscan", "--fbx", SAMPLE_TAKE, "--plate", SAMPLE_PLATE, "-o", tmp_path / "cmd.json")
    report = talvik.overscan(tmp_path / "py.json", **SHOT)
    assert report == json.loads((tmp_path / "cmd.json").read_text())

    shot = dict(SHOT, mode="distort", overscan="auto", frames="1001-1002")
    assert talvik.verify(tmp_path / "py/rm.####.exr", **shot)
    (tmp_path / "py/rm.1002.exr").write_bytes(b"")
    verdict = talvik.verify(tmp_path / "py/rm.####.exr", **shot)
    command = run_stmap("verify", "--fbx", SAMPLE_TAKE, "--plate", SAMPLE_PLATE, "--mode", "distort", "--overscan",
                        "auto", "--frames", "1001-1002", "-o", tmp_path / "py/rm.####.exr", check=False)
    assert not verdict and verdict.failing == [1002]
    assert command.returncode == 1 and str(verdict) == command.stdout.strip()


def test_a_warning_of_the_command_is_a_python_warning(tmp_path):
    # Frames outside the take's keys: the command warns, --strict fails.
    with pytest.warns(RuntimeWarning, match="outside the take's keyed range"):
        talvik.render(tmp_path / "a.####.exr", **SHOT, mode="undistort", frames="1-2")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(RuntimeWarning):
            talvik.render(tmp_path / "b.####.exr", **SHOT, mode="undistort", frames="1-2")
    assert not list(tmp_path.glob("b.*"))


@pytest.mark.parametrize("keywords, error", [
    ({"fbx": "missing.fbx"}, FileNotFoundError),
    ({"plate": "missing.exr"}, FileNotFoundError),
    ({"frames": "1-x"}, ValueError),
    ({"size": (0, 10)}, ValueError),
    ({"mode": "sideways"}, ValueError),
    ({"bogus": 1}, TypeError),
])
def test_bad_keywords_raise_the_fitting_exception(tmp_path, keywords, error):
    with pytest.raises(error):
        talvik.render(tmp_path / "x.####.exr", **keywords)
